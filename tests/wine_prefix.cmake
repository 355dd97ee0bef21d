# Makes the Wine prefix the Windows tests run in, once: wineboot -i, quietly,
# without the Mono and Gecko installers.
if(EXISTS ${PREFIX}/system.reg)
  return()
endif()
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
execute_process(COMMAND ${WINE} wineboot -i RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET TIMEOUT 280)
if(NOT EXISTS ${PREFIX}/system.reg)
  message(FATAL_ERROR "wineboot -i did not make ${PREFIX} (${rc})")
endif()
