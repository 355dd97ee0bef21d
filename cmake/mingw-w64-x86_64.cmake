# The Windows test build: 64-bit, posix threads (Debian's GoogleTest needs
# std::mutex, which the win32 thread model lacks), its test programs run by
# ctest under Wine: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTREL_MINGW x86_64-w64-mingw32)
set(VANTREL_MINGW_THREADS posix)
set(VANTREL_PE_VERSION 5.2)
set(VANTREL_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
