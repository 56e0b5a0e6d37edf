# nlohmann-json for talvexctl's --json output: header-only, from its CMake
# package (Debian: nlohmann-json3-dev, in /usr/include).
#
# A cross build (MinGW-w64) looks in the target's tree first. Failing that
# it takes the build machine's package, which suits any target as it is
# only headers; but its include directory, /usr/include, must not reach the
# cross compiler, whose own C headers glibc's would shadow. So the cross
# build copies only the nlohmann folder into the build tree and points the
# target there (on every configure: a cached package directory may be the
# build machine's).

if(NOT CMAKE_CROSSCOMPILING)
    find_package(nlohmann_json 3 REQUIRED)
    return()
endif()

find_package(nlohmann_json 3 QUIET)
if(NOT nlohmann_json_FOUND)
    find_package(nlohmann_json 3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
endif()
get_target_property(_talvex_json_includes nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
find_path(_talvex_json_include nlohmann/json.hpp PATHS ${_talvex_json_includes}
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
if(NOT _talvex_json_include)
    message(FATAL_ERROR "nlohmann/json.hpp not found in ${_talvex_json_includes}")
endif()
set(_talvex_json_staged ${CMAKE_BINARY_DIR}/nlohmann-json-headers)
file(COPY ${_talvex_json_include}/nlohmann DESTINATION ${_talvex_json_staged})
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_talvex_json_staged})
