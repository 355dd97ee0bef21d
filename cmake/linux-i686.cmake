# The 32-bit Linux build (g++-multilib, -m32): the engine and platform
# suites with a 32-bit size_t, to catch what that breaks before the i686
# Windows build meets it. No Qt, OpenSSL or libsqlite3 exist for i386 here:
# the window is left out, SHA-256 is the built-in digest, SQLite is the
# pinned amalgamation (cmake/sqlite.cmake); GoogleTest is built
# from Debian's sources (tests/linux32.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(VANTREL_WINDOW OFF CACHE BOOL "")
set(VANTREL_OPENSSL OFF CACHE BOOL "")
set(VANTREL_BUNDLED_SQLITE ON CACHE BOOL "")
