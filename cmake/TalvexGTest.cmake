# GoogleTest for the tests.
#
# An installed GoogleTest is used when there is one (Debian: libgtest-dev).
# A cross build (MinGW-w64) cannot link the build machine's libraries, so
# there, and wherever none is installed (a Windows machine), GoogleTest is
# compiled from source with the project's compiler: Debian's package
# googletest puts the sources in /usr/src/googletest; elsewhere set
# TALVEX_GTEST_SOURCE_DIR to a GoogleTest source tree. Only what the tests
# link gets built.

if(NOT CMAKE_CROSSCOMPILING)
    find_package(GTest QUIET)
    if(GTest_FOUND)
        return()
    endif()
endif()

set(TALVEX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources, compiled with the project's compiler")
if(NOT EXISTS "${TALVEX_GTEST_SOURCE_DIR}/googletest/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${TALVEX_GTEST_SOURCE_DIR} "
                        "(install the package googletest, or set TALVEX_GTEST_SOURCE_DIR to a GoogleTest source tree)")
endif()

# MSVC: the same C runtime DLL as the project (GoogleTest defaults to static).
set(gtest_force_shared_crt ON CACHE BOOL "GoogleTest uses the C runtime DLL" FORCE)

set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest with the project" FORCE)
add_subdirectory("${TALVEX_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

# The names find_package(GTest) gives, so the tests link the same way in
# both builds (newer GoogleTest sources define them already).
foreach(library gtest gtest_main gmock gmock_main)
    if(TARGET ${library} AND NOT TARGET GTest::${library})
        add_library(GTest::${library} ALIAS ${library})
    endif()
endforeach()
