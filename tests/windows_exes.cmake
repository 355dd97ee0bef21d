# The shipped programs themselves (vantrel.exe, vantrel-cli.exe of
# cmake/mingw-w64-*-win32.cmake), end to end: their import tables against
# what Windows XP SP3 exports, then under Wine in a Windows XP prefix.

# Every function each program imports must be one Windows XP SP3 exports
# (the lists in xp_exports/, each naming its source): a later one stops the
# program from starting there ("entry point not found").
foreach(exe vantrel vantrel-cli)
  add_test(NAME xp_imports_${exe}
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/pe_imports_test.py --lists ${CMAKE_CURRENT_SOURCE_DIR}/xp_exports
            --subsystem ${VANTREL_PE_VERSION} $<TARGET_FILE:${exe}>)
  set_tests_properties(xp_imports_${exe} PROPERTIES TIMEOUT 60)
endforeach()

# What Explorer shows of the two programs: the version resource (from the
# project's version) and the icon.
add_test(NAME exe_resources
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/pe_resources_test.py --version ${PROJECT_VERSION}
          $<TARGET_FILE:vantrel> $<TARGET_FILE:vantrel-cli>)
set_tests_properties(exe_resources PROPERTIES TIMEOUT 60)

# The held-file test's other program (built in every shipped tree: scripts/build names it).
add_executable(vantrel_hold_file hold_file.cpp)
target_link_libraries(vantrel_hold_file PRIVATE vantrel_platform)

# The i686 programs need Wine's 32-bit loader (Debian's wine32:i386, which
# scripts/install-deps installs where the i386 packages can be had).
if(NOT EXISTS ${CMAKE_CROSSCOMPILING_EMULATOR})
  add_test(NAME wine_loader_missing
    COMMAND sh -c "echo \"skipped: $0 is not installed: the programs are not run under Wine\"; exit 77"
            ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(wine_loader_missing PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 30)
  return()
endif()
vantrel_wine_prefix(wineprefix ON ${locales})

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

# export --sqlite through the Windows program (its SQLite compiled in): the
# database holding every type and, with the shared corpus, every file copied
# and verified, each copy read back here with Python's sqlite3.
add_test(NAME sqlite_export_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/sqlite_export_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --vantrel $<TARGET_FILE:vantrel-cli> --shared ${VANTREL_SHARED_DIR} --node-modules ${CMAKE_SOURCE_DIR}/node_modules)
set_tests_properties(sqlite_export_wine PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 1800)

# The script file in the ANSI code page of the running system, 1252 and 950.
add_test(NAME script_code_page_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/wine_code_page_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --exe $<TARGET_FILE:vantrel-cli>)
set_tests_properties(script_code_page_wine PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 300)

# A database another Windows program has open (a second vantrel-cli.exe, one
# holding it as Access does, one holding its lock file): convert gets 3045.
add_test(NAME second_program_3045_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/held_file_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --exe $<TARGET_FILE:vantrel-cli> --holder $<TARGET_FILE:vantrel_hold_file>)
set_tests_properties(second_program_3045_wine PROPERTIES ENVIRONMENT "${wineprefix_env}" FIXTURES_REQUIRED wineprefix TIMEOUT 300)

# The setup program (makensis, from Debian's nsis): silent install, the
# installed program run, silent uninstall, in a fresh prefix of its own.
find_program(MAKENSIS makensis)
add_test(NAME setup_wine
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/wine_setup_test.py --wine ${CMAKE_CROSSCOMPILING_EMULATOR}
          --makensis ${MAKENSIS} --nsi ${CMAKE_SOURCE_DIR}/packaging/windows/vantrel.nsi --version ${PROJECT_VERSION}
          --window $<TARGET_FILE:vantrel> --cli $<TARGET_FILE:vantrel-cli>
          --readme ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt)
set_tests_properties(setup_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)

# The window of vantrel.exe opens, at the form's size, with and without XP's way
# forced; under Xvfb, in a prefix of its own (Wine's desktop takes the display
# of the first program of its prefix).
find_program(XVFB_RUN xvfb-run)
if(XVFB_RUN)
  vantrel_wine_prefix(wineprefix-window OFF)
  add_test(NAME window_starts_wine
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24" python3 ${CMAKE_CURRENT_SOURCE_DIR}/wine_window_start_test.py
            --wine ${CMAKE_CROSSCOMPILING_EMULATOR} --exe $<TARGET_FILE:vantrel>)
  set_tests_properties(window_starts_wine PROPERTIES ENVIRONMENT "${wineprefix-window_env}"
                       FIXTURES_REQUIRED wineprefix-window TIMEOUT 300)
endif()
