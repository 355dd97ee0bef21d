# SQLite, for `export --sqlite`: target SQLite::SQLite3.
#
# Linux links Debian's libsqlite3 (libsqlite3-dev). The Windows builds and the
# 32-bit Linux build (no i386 -dev packages here) compile the amalgamation in:
# sqlite3.c and sqlite3.h of SQLite's release as a pinned npm package carries
# them (better-sqlite3's deps/sqlite3: the release with one change of theirs,
# two constants of the date functions written as plain numbers, 30*86400 as
# 2592000 and 365*86400 as 31536000), whose tarball's SHA-256 is checked
# before anything is unpacked. A mismatch stops the
# configure step. The tarball is kept in VANTREL_DOWNLOADS, shared by every
# build tree.
option(VANTREL_BUNDLED_SQLITE "Compile the pinned SQLite amalgamation in (Windows, 32-bit Linux)" ${WIN32})

if(NOT VANTREL_BUNDLED_SQLITE)
  find_package(SQLite3 REQUIRED)
  return()
endif()

set(VANTREL_SQLITE_VERSION 3.53.0)
set(VANTREL_SQLITE_PACKAGE better-sqlite3-12.9.0.tgz)
set(VANTREL_SQLITE_URL https://registry.npmjs.org/better-sqlite3/-/${VANTREL_SQLITE_PACKAGE})
set(VANTREL_SQLITE_SHA256 ad0e29650140c49d0335b1d356596aa8166f12b758f418a98446130e3278f250)
if(DEFINED ENV{HOME})
  set(default_downloads "$ENV{HOME}/.cache/vantrel")
else()
  set(default_downloads "${CMAKE_BINARY_DIR}/downloads")
endif()
set(VANTREL_DOWNLOADS "${default_downloads}" CACHE PATH "Where fetched sources are kept")

set(sqlite_tarball "${VANTREL_DOWNLOADS}/${VANTREL_SQLITE_PACKAGE}")
file(DOWNLOAD ${VANTREL_SQLITE_URL} "${sqlite_tarball}" EXPECTED_HASH SHA256=${VANTREL_SQLITE_SHA256}
     TLS_VERIFY ON STATUS sqlite_status)
list(GET sqlite_status 0 sqlite_code)
if(NOT sqlite_code EQUAL 0)
  list(GET sqlite_status 1 sqlite_message)
  message(FATAL_ERROR "SQLite ${VANTREL_SQLITE_VERSION}: ${VANTREL_SQLITE_URL} could not be fetched: ${sqlite_message}")
endif()
set(sqlite_dir "${CMAKE_BINARY_DIR}/sqlite-${VANTREL_SQLITE_VERSION}")
if(NOT EXISTS "${sqlite_dir}/package/deps/sqlite3/sqlite3.c")
  file(ARCHIVE_EXTRACT INPUT "${sqlite_tarball}" DESTINATION "${sqlite_dir}" PATTERNS package/deps/sqlite3/sqlite3.*)
endif()
file(STRINGS "${sqlite_dir}/package/deps/sqlite3/sqlite3.h" sqlite_version_line REGEX "^#define SQLITE_VERSION ")
if(NOT sqlite_version_line MATCHES "\"${VANTREL_SQLITE_VERSION}\"")
  message(FATAL_ERROR "SQLite: ${sqlite_tarball} holds ${sqlite_version_line}, not ${VANTREL_SQLITE_VERSION}")
endif()

enable_language(C)
add_library(vantrel_sqlite3 STATIC "${sqlite_dir}/package/deps/sqlite3/sqlite3.c")
target_include_directories(vantrel_sqlite3 SYSTEM PUBLIC "${sqlite_dir}/package/deps/sqlite3")
# Each connection is used by one thread (the copy is written on one while
# another reads it back) and starts no thread of its own (its sorting threads
# do not make index building faster here); no extensions are loaded;
# double-quoted strings are never taken for names.
target_compile_definitions(vantrel_sqlite3 PRIVATE SQLITE_THREADSAFE=2 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
                                                   SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_OMIT_DEPRECATED SQLITE_MAX_WORKER_THREADS=0)
# Not this project's code: compiled as published, without its warnings.
target_compile_options(vantrel_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS vantrel_sqlite3)
