# Stand-in package file for the cross build: the header-only JSON library of the build
# machine, exposed through a folder that holds only its headers (a link to the host's
# nlohmann folder), so that the host's other headers never reach the Windows compiler.
set(_varden_json_host_headers /usr/include/nlohmann)
if(NOT EXISTS ${_varden_json_host_headers}/json.hpp)
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "${_varden_json_host_headers}/json.hpp is missing")
  return()
endif()
set(_varden_json_include ${CMAKE_BINARY_DIR}/mingw-w64-deps/include)
if(NOT EXISTS ${_varden_json_include}/nlohmann)
  file(MAKE_DIRECTORY ${_varden_json_include})
  file(CREATE_LINK ${_varden_json_host_headers} ${_varden_json_include}/nlohmann SYMBOLIC)
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_varden_json_include})
endif()
set(nlohmann_json_FOUND TRUE)
