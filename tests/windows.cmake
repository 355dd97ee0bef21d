# The Windows builds' tests, under Wine. The test build
# (cmake/mingw-w64-x86_64.cmake, VANTREL_TESTS) runs the test programs, built
# with GoogleTest from Debian's sources and the posix thread model; the
# shipped builds (cmake/mingw-w64-*-win32.cmake, VANTREL_EXE_TESTS) build no
# test program and run their own vantrel.exe and vantrel-cli.exe end to end
# (windows_exes.cmake). Every prefix says it is Windows XP (64-bit Wine:
# winxp64): Wine still exports later functions, so the test programs run
# again with VANTREL_WINDOWS_XP_API=1, which takes XP's way wherever the
# platform layer looks a later function up (platform/newer_api_win32.h).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VANTREL_WINE_WINDOWS winxp64)
else()
  set(VANTREL_WINE_WINDOWS winxp)
endif()

# Two prefixes: Wine's desktop process takes the display of the first program
# of its prefix, so the window (under Xvfb) gets a prefix of its own. Each is
# made and started by a step of its own before its tests and stopped after
# them (wine_prefix.cmake), so that a test ends when its program ends: the
# tests' prefix keeps one server running for all of them, started in every
# locale the tests use (LOCALES, as LANG values).
# The ANSI code page follows the locale Wine runs in: Western, Traditional Chinese.
set(VANTREL_WINE_LOCALES en_US:CP1252 zh_TW:CP950)
function(vantrel_wine_prefix name persistent)
  set(prefix ${CMAKE_BINARY_DIR}/${name})
  set(args -DWINE=${CMAKE_CROSSCOMPILING_EMULATOR} -DPREFIX=${prefix} -DPERSISTENT=${persistent} "-DLOCALES=${ARGN}"
           -DWINDOWS_VERSION=${VANTREL_WINE_WINDOWS} -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -DSTEP=start ${args})
  add_test(NAME ${name}-stop COMMAND ${CMAKE_COMMAND} -DSTEP=stop ${args})
  set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${name} TIMEOUT 480)
  set_tests_properties(${name}-stop PROPERTIES FIXTURES_CLEANUP ${name} TIMEOUT 120)
  set(${name}_env "WINEPREFIX=${prefix};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=" PARENT_SCOPE)
endfunction()
set(locales ${VANTREL_WINE_LOCALES})
list(TRANSFORM locales REPLACE ":.*" ".UTF-8")

if(VANTREL_EXE_TESTS)
  include(windows_exes.cmake)
endif()
if(NOT VANTREL_TESTS)
  return()
endif()

# The test programs: GoogleTest built with the cross compiler.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TEST wineprefix)  # made already when the programs are tested end to end too
  vantrel_wine_prefix(wineprefix ON ${locales})
endif()
if(NOT TEST wineprefix-window)
  vantrel_wine_prefix(wineprefix-window OFF)
endif()

add_executable(vantrel_print_args print_args.cpp)
target_link_libraries(vantrel_print_args PRIVATE vantrel_platform)
add_executable(vantrel_platform_tests ${VANTREL_PORTABLE_TESTS} newer_api_win32_test.cpp)
target_compile_definitions(vantrel_platform_tests PRIVATE VANTREL_SHARED_DIR="${VANTREL_SHARED_DIR}")
target_link_libraries(vantrel_platform_tests PRIVATE vantrel_platform vantrel_process vantrel_sha256 gtest_main)
add_dependencies(vantrel_platform_tests vantrel_print_args)
# One Wine start per program, not per test: each start costs a second or more.
add_test(NAME platform_tests COMMAND vantrel_platform_tests)
set_tests_properties(platform_tests PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 300)
add_test(NAME platform_tests_xp_api COMMAND vantrel_platform_tests)
set_tests_properties(platform_tests_xp_api PROPERTIES ENVIRONMENT "${wineprefix_env};VANTREL_WINDOWS_XP_API=1"
                     FIXTURES_REQUIRED wineprefix TIMEOUT 300)
foreach(locale ${VANTREL_WINE_LOCALES})
  string(REPLACE ":" ";" pair ${locale})
  list(GET pair 0 lang)
  list(GET pair 1 cp)
  add_test(NAME platform_tests_${lang} COMMAND vantrel_platform_tests --gtest_filter=SystemCharset.*)
  set_tests_properties(platform_tests_${lang} PROPERTIES
    ENVIRONMENT "${wineprefix_env};LANG=${lang}.UTF-8;LC_ALL=${lang}.UTF-8;VANTREL_EXPECT_CHARSET=${cp}"
    FIXTURES_REQUIRED wineprefix TIMEOUT 120)
endforeach()

add_executable(vantrel_win32_ui_tests win32_window_test.cpp win32_cycle_test.cpp corpus.cpp ${CMAKE_SOURCE_DIR}/app/vantrel.rc)
target_compile_definitions(vantrel_win32_ui_tests PRIVATE VANTREL_SHARED_DIR="${VANTREL_SHARED_DIR}")
target_link_libraries(vantrel_win32_ui_tests PRIVATE vantrel_win32_ui vantrel_actions gtest_main)
find_program(XVFB_RUN xvfb-run)
if(XVFB_RUN)
  # Then the window's tests once more with its DPI from the screen and its
  # frame from AdjustWindowRectEx, as on XP: in the same display and Wine
  # server (the window prefix's one test).
  add_test(NAME win32_window_tests
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24" sh -c
            "\"$0\" \"$1\" && VANTREL_WINDOWS_XP_API=1 \"$0\" \"$1\" --gtest_filter=Win32Window.*"
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:vantrel_win32_ui_tests>)
  set_tests_properties(win32_window_tests PROPERTIES ENVIRONMENT "${wineprefix-window_env}" FIXTURES_REQUIRED wineprefix-window
                       TIMEOUT 300)
endif()

# The engine's suites, under Wine. process_test.cpp stays on Linux: it runs
# sh and sleep; exec_cmd_argv_test.cpp is the runner's test on both systems.
add_executable(vantrel_tests ${VANTREL_ENGINE_TESTS})
target_compile_definitions(vantrel_tests PRIVATE VANTREL_SHARED_DIR="${VANTREL_SHARED_DIR}")
target_link_libraries(vantrel_tests PRIVATE vantrel_cli vantrel_process nlohmann_json::nlohmann_json gtest_main)
add_test(NAME engine_tests COMMAND vantrel_tests)
set_tests_properties(engine_tests PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 1800)
# The journal beside the database's full path (no final path on XP), written
# and rolled back.
add_test(NAME engine_journal_xp_api COMMAND vantrel_tests --gtest_filter=FileSafety.*:*PowerLoss*:UpdateBatchCrash.*)
set_tests_properties(engine_journal_xp_api PROPERTIES ENVIRONMENT "${wineprefix_env};VANTREL_WINDOWS_XP_API=1"
                     FIXTURES_REQUIRED wineprefix TIMEOUT 900)
