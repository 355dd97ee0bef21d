# A Wine prefix the Windows tests run in, as the steps around them:
#   STEP=start  makes the prefix once (wineboot -i, quietly, without the Mono
#               and Gecko installers), then starts Wine in it: with PERSISTENT,
#               a server that stays up until the stop step, its system
#               processes, and a program in each of LOCALES, so that no test
#               pays for any of it; otherwise it waits until the prefix's
#               server has ended, so that the one test of the prefix starts
#               Wine afresh (under its own display).
#   STEP=stop   ends the prefix's server (with PERSISTENT) and waits until it
#               has gone.
# With WINDOWS_VERSION (winxp64, winxp, ... as winecfg -v takes them) a new
# prefix says it is that Windows.
# Why: the first program of a prefix starts Wine's server and its system
# processes (services.exe, ...), and they inherit that program's output. When
# a test's program started them, ctest waited for that output to close, so
# the test ran on until the server ended, which another test running in the
# prefix put off (a test that passed in 1 ms timed out). Started here, they
# write to PREFIX.log.
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
get_filename_component(wine_dir ${WINE} DIRECTORY)
find_program(WINESERVER NAMES wineserver wineserver64 HINTS ${wine_dir} /usr/lib/wine REQUIRED)
set(log ${PREFIX}.log)

# Runs a Wine command with its output in the log; FATAL_ERROR if `must` and it fails.
function(wine_step must timeout)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc INPUT_FILE /dev/null OUTPUT_FILE ${log} ERROR_FILE ${log}
                  TIMEOUT ${timeout})
  if(must AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${rc} (output: ${log})")
  endif()
endfunction()

if(STEP STREQUAL "stop")
  if(PERSISTENT)
    wine_step(OFF 30 ${WINESERVER} -k)
  endif()
  wine_step(OFF 60 ${WINESERVER} -w)
  return()
endif()

# A server left by a run that was cut short goes first.
wine_step(OFF 30 ${WINESERVER} -k)
wine_step(OFF 30 ${WINESERVER} -w)
if(NOT EXISTS ${PREFIX}/system.reg)
  wine_step(OFF 240 ${WINE} wineboot -i)
  if(WINDOWS_VERSION)
    wine_step(ON 120 ${WINE} winecfg -v ${WINDOWS_VERSION})
  endif()
  # The server writes the registry (system.reg) as it ends.
  wine_step(OFF 120 ${WINESERVER} -w)
  if(NOT EXISTS ${PREFIX}/system.reg)
    message(FATAL_ERROR "wineboot -i did not make ${PREFIX} (output: ${log})")
  endif()
endif()
if(NOT PERSISTENT)
  return()
endif()
wine_step(ON 30 ${WINESERVER} -p)
wine_step(ON 60 ${WINE} wineboot)
foreach(locale IN LISTS LOCALES)
  set(ENV{LANG} ${locale})
  set(ENV{LC_ALL} ${locale})
  wine_step(ON 60 ${WINE} cmd /c exit)
endforeach()
