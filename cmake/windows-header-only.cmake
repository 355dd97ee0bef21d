# CLI11 and nlohmann-json are header-only: the Windows build uses the Debian
# packages' headers through a folder of their own, so that no other header of
# the build machine's /usr/include can be picked up by the cross compiler.
set(VANTREL_HEADER_ONLY ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${VANTREL_HEADER_ONLY})
foreach(dir CLI nlohmann)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${VANTREL_HEADER_ONLY}/${dir} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${VANTREL_HEADER_ONLY})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${VANTREL_HEADER_ONLY})
