# The 32-bit Linux build's tests (cmake/linux-i686.cmake): the engine and
# platform suites and the real files through the 32-bit `vantrel`, to catch
# what a 32-bit size_t breaks. GoogleTest from Debian's sources, built -m32.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(vantrel_print_args print_args.cpp)
target_link_libraries(vantrel_print_args PRIVATE vantrel_platform)
add_executable(vantrel_platform_tests ${VANTREL_PORTABLE_TESTS})
target_compile_definitions(vantrel_platform_tests PRIVATE VANTREL_SHARED_DIR="${VANTREL_SHARED_DIR}")
target_link_libraries(vantrel_platform_tests PRIVATE vantrel_platform vantrel_process vantrel_sha256 gtest_main)
add_dependencies(vantrel_platform_tests vantrel_print_args)
add_test(NAME platform_tests COMMAND vantrel_platform_tests)
set_tests_properties(platform_tests PROPERTIES TIMEOUT 300)

add_executable(vantrel_tests ${VANTREL_ENGINE_TESTS} ${VANTREL_POSIX_TESTS} process_test.cpp)
target_compile_definitions(vantrel_tests PRIVATE VANTREL_SHARED_DIR="${VANTREL_SHARED_DIR}")
target_link_libraries(vantrel_tests PRIVATE vantrel_cli vantrel_process gtest_main)
add_test(NAME engine_tests COMMAND vantrel_tests)
set_tests_properties(engine_tests PROPERTIES TIMEOUT 1800)

foreach(tool corpus-check nullfill-check)
  add_test(NAME ${tool}_32bit
    COMMAND ${CMAKE_COMMAND} -DTOOL=${VANTREL_SHARED_DIR}/tools/${tool} -DVANTREL=$<TARGET_FILE:vantrel>
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_shared_tool.cmake)
  set_tests_properties(${tool}_32bit PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1800)
endforeach()
