# What every Windows build shares: Debian's MinGW-w64 for VANTREL_MINGW
# (i686-w64-mingw32 or x86_64-w64-mingw32) with the thread model
# VANTREL_MINGW_THREADS (win32 or posix), statically linked so that the .exe
# needs nothing installed, compiled for Windows XP SP3 and later. Included by
# the toolchain files beside it, which name the target and the thread model.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VANTREL_MINGW}-gcc-${VANTREL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VANTREL_MINGW}-g++-${VANTREL_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VANTREL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc and libstdc++ (and, with posix threads, winpthreads) go into the
# .exe. The PE header names the oldest Windows that may load it
# (VANTREL_PE_VERSION: 5.1 is XP, 5.2 is XP x64): a later one refuses it.
string(REPLACE "." ";" pe_version ${VANTREL_PE_VERSION})
list(GET pe_version 0 pe_major)
list(GET pe_version 1 pe_minor)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ \
-Wl,--major-subsystem-version,${pe_major},--minor-subsystem-version,${pe_minor} \
-Wl,--major-os-version,${pe_major},--minor-os-version,${pe_minor}")

# GCC 12 reports false -Wrestrict/-Wstringop-overread inside libstdc++'s
# std::string at -O2 (GCC bug 105651): not ours, and they bury real warnings.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -Wno-stringop-overread")

# Windows XP SP3's API and no later: a newer function is a compile error.
# What only later versions have is looked up at run time
# (platform/newer_api_win32.h). Wide (W) functions throughout.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 UNICODE _UNICODE NOMINMAX)

# ctest runs the programs under Wine: VANTREL_WINE_LOADER (wine64 for
# x86-64, the 32-bit loader of wine32 for i686, which may be missing).
find_program(VANTREL_WINE NAMES ${VANTREL_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT VANTREL_WINE)
  set(VANTREL_WINE /usr/lib/wine/${VANTREL_WINE_LOADER})
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_WINE})
