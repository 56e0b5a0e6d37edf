# Windows programs: a version resource and the application icon
# (src/app/talvex.ico) on each program, and the GUI subsystem for the
# window program, so that Windows opens no console beside its window.
#
#   talvex_windows_program(<target> DESCRIPTION <text> [GUI])
#
# The resource names the product and the version as the tool shows them
# ("TalvexUSB-Setting Manager", 1.05.01 for the project's 1.5.1); the tool
# names no company of its own, so the company field carries its name too.
# Elsewhere than on Windows the function does nothing.

if(WIN32)
    # The resource compiler: windres with MinGW, rc with MSVC.
    enable_language(RC)
endif()

set(TALVEX_PRODUCT_NAME "TalvexUSB-Setting Manager")

# The project's version as the tool prints it: "%i.%02i.%02i" (toolVersionText).
function(talvex_version_text out)
    set(minor ${PROJECT_VERSION_MINOR})
    set(patch ${PROJECT_VERSION_PATCH})
    if(minor LESS 10)
        set(minor "0${minor}")
    endif()
    if(patch LESS 10)
        set(patch "0${patch}")
    endif()
    set(${out} "${PROJECT_VERSION_MAJOR}.${minor}.${patch}" PARENT_SCOPE)
endfunction()

function(talvex_windows_program target)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(PARSE_ARGV 1 arg "GUI" "DESCRIPTION" "")
    if(NOT arg_DESCRIPTION)
        message(FATAL_ERROR "talvex_windows_program(${target}): DESCRIPTION missing")
    endif()
    if(arg_GUI)
        set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    endif()

    talvex_version_text(TALVEX_RC_VERSION_TEXT)
    set(TALVEX_RC_VERSION_NUMBERS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
    set(TALVEX_RC_PRODUCT "${TALVEX_PRODUCT_NAME}")
    set(TALVEX_RC_COMPANY "${TALVEX_PRODUCT_NAME}")
    set(TALVEX_RC_DESCRIPTION "${arg_DESCRIPTION}")
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(TALVEX_RC_INTERNAL_NAME "${name}")
    set(TALVEX_RC_FILE_NAME "${name}.exe")
    set(TALVEX_RC_ICON "${PROJECT_SOURCE_DIR}/src/app/talvex.ico")

    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
    configure_file("${PROJECT_SOURCE_DIR}/src/app/version.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
    # The icon is read by the resource compiler, which does not say so.
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${TALVEX_RC_ICON}")
endfunction()
