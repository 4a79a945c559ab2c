# What the Windows cross build takes from the build host: nlohmann_json is
# header-only, but adding the host's /usr/include to a mingw compile would
# shadow the Windows C headers, so only its own directory is exposed.
set(host_json_header /usr/include/nlohmann/json.hpp)
if(NOT EXISTS ${host_json_header})
  message(FATAL_ERROR "${host_json_header} not found (Debian package nlohmann-json3-dev)")
endif()
set(json_include "${CMAKE_BINARY_DIR}/host-headers")
file(MAKE_DIRECTORY "${json_include}")
file(CREATE_LINK /usr/include/nlohmann "${json_include}/nlohmann" SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE "${json_include}")
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
