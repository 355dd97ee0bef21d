# The shipped 64-bit Windows build (vantrel-VERSION-win64.zip): win32
# threads, so no winpthreads in the .exe (the product starts no thread);
# loads on Windows XP x64 (PE version 5.2) and later.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTREL_MINGW x86_64-w64-mingw32)
set(VANTREL_MINGW_THREADS win32)
set(VANTREL_PE_VERSION 5.2)
set(VANTREL_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
