# Windows: `cmake --build <build-dir> --target deploy` gathers the program
# and what it needs from Qt (DLLs, the platform and style plugins, the
# compiler's runtime) into <build-dir>/deploy with windeployqt, a folder
# that runs on a machine without Qt. Elsewhere, or without windeployqt,
# there is no deploy target.
function(talvex_windows_deploy target)
    if(NOT WIN32)
        return()
    endif()
    find_program(TALVEX_WINDEPLOYQT windeployqt
        HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" "${QT6_INSTALL_PREFIX}/bin")
    if(NOT TALVEX_WINDEPLOYQT)
        message(STATUS "windeployqt not found: no deploy target")
        return()
    endif()
    set(folder "${CMAKE_BINARY_DIR}/deploy")
    add_custom_target(deploy
        COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${target}>" "${folder}"
        COMMAND "${TALVEX_WINDEPLOYQT}" --no-translations --compiler-runtime
                "${folder}/$<TARGET_FILE_NAME:${target}>"
        DEPENDS ${target}
        COMMENT "Gathering ${target} and its Qt libraries in ${folder}"
        VERBATIM)
endfunction()
