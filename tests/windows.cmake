# The Windows build's tests: GoogleTest from Debian's sources built with the
# cross compiler, the programs run by ctest under Wine in a prefix of the
# build's own (made once, quietly), the window under Xvfb.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

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
           -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -DSTEP=start ${args})
  add_test(NAME ${name}-stop COMMAND ${CMAKE_COMMAND} -DSTEP=stop ${args})
  set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${name} TIMEOUT 480)
  set_tests_properties(${name}-stop PROPERTIES FIXTURES_CLEANUP ${name} TIMEOUT 120)
  set(${name}_env "WINEPREFIX=${prefix};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=" PARENT_SCOPE)
endfunction()
set(locales ${VANTREL_WINE_LOCALES})
list(TRANSFORM locales REPLACE ":.*" ".UTF-8")
vantrel_wine_prefix(wineprefix ON ${locales})
vantrel_wine_prefix(wineprefix-window OFF)

add_executable(vantrel_print_args print_args.cpp)
target_link_libraries(vantrel_print_args PRIVATE vantrel_platform)
add_executable(vantrel_platform_tests ${VANTREL_PORTABLE_TESTS})
target_compile_definitions(vantrel_platform_tests PRIVATE VANTREL_SHARED_DIR="${VANTREL_SHARED_DIR}")
target_link_libraries(vantrel_platform_tests PRIVATE vantrel_platform vantrel_process vantrel_sha256 gtest_main)
add_dependencies(vantrel_platform_tests vantrel_print_args)
# One Wine start per program, not per test: each start costs a second or more.
add_test(NAME platform_tests COMMAND vantrel_platform_tests)
set_tests_properties(platform_tests PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 300)
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
  add_test(NAME win32_window_tests
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24" ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:vantrel_win32_ui_tests>)
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

# The real files through the Windows program: its dump against what the
# independent readers see, its null-fill against the references.
if(EXISTS ${VANTREL_SHARED_DIR}/tools)
  foreach(tool corpus-check nullfill-check)
    add_test(NAME ${tool}_wine
      COMMAND ${CMAKE_COMMAND} -DTOOL=${VANTREL_SHARED_DIR}/tools/${tool}
              "-DVANTREL=${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:vantrel-cli>"
              -P ${CMAKE_CURRENT_SOURCE_DIR}/run_shared_tool.cmake)
    set_tests_properties(${tool}_wine PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix
                         SKIP_RETURN_CODE 77 TIMEOUT 1800)
  endforeach()
endif()

# The script file in the ANSI code page of the running system, 1252 and 950.
add_test(NAME script_code_page_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/wine_code_page_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --exe $<TARGET_FILE:vantrel-cli>)
set_tests_properties(script_code_page_wine PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 300)

# A database another Windows program has open (a second vantrel-cli.exe, one
# holding it as Access does, one holding its lock file): convert gets 3045.
add_executable(vantrel_hold_file hold_file.cpp)
target_link_libraries(vantrel_hold_file PRIVATE vantrel_platform)
add_test(NAME second_program_3045_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/held_file_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --exe $<TARGET_FILE:vantrel-cli> --holder $<TARGET_FILE:vantrel_hold_file>)
set_tests_properties(second_program_3045_wine PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 300)

# What Explorer shows of the two programs: the version resource (from the
# project's version) and the icon.
add_test(NAME exe_resources
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/pe_resources_test.py --version ${PROJECT_VERSION}
          $<TARGET_FILE:vantrel> $<TARGET_FILE:vantrel-cli>)
set_tests_properties(exe_resources PROPERTIES TIMEOUT 60)

# The setup program (makensis, from Debian's nsis): silent install, the
# installed program run, silent uninstall, in a fresh prefix of its own.
find_program(MAKENSIS makensis)
add_test(NAME setup_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/wine_setup_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --makensis ${MAKENSIS} --nsi ${CMAKE_SOURCE_DIR}/packaging/windows/vantrel.nsi --version ${PROJECT_VERSION}
          --window $<TARGET_FILE:vantrel> --cli $<TARGET_FILE:vantrel-cli>
          --readme ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt)
set_tests_properties(setup_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
