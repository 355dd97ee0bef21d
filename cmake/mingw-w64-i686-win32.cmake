# The shipped 32-bit Windows build (vantrel-VERSION-win32.zip): i686, win32
# threads (no winpthreads); loads on Windows XP (PE version 5.1) and later,
# 32- and 64-bit. Run under Wine's 32-bit loader (wine32) where installed.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANTREL_MINGW i686-w64-mingw32)
set(VANTREL_MINGW_THREADS win32)
set(VANTREL_PE_VERSION 5.1)
set(VANTREL_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
