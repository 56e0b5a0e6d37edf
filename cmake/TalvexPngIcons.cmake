# The windows' SVG icons as PNGs, for a Qt without its Svg module: each SVG
# of the resource file is rendered on the build machine (rsvg-convert, from
# librsvg2-bin) at twice its size, so it stays sharp on a high-DPI screen,
# and the PNGs go into a resource file of the same name and prefix.
#
#   talvex_png_icons(<target> <svg .qrc file>)
#
# The code asks for an icon by name (iconPath in ui/common/Resources.h) and
# gets the .png; TALVEX_PNG_ICONS tells it so.
function(talvex_png_icons target qrc)
    find_program(TALVEX_RSVG_CONVERT rsvg-convert NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    get_filename_component(source_dir "${qrc}" DIRECTORY)
    get_filename_component(qrc_name "${qrc}" NAME)
    set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/png-icons")
    file(READ "${qrc}" text)
    string(REGEX MATCHALL "<file>[^<]+\\.svg</file>" entries "${text}")
    set(pngs)
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE "<file>([^<]+)\\.svg</file>" "\\1" name "${entry}")
        set(png "${out_dir}/${name}.png")
        add_custom_command(OUTPUT "${png}"
            COMMAND "${TALVEX_RSVG_CONVERT}" --zoom=2 --output "${png}" "${source_dir}/${name}.svg"
            DEPENDS "${source_dir}/${name}.svg"
            COMMENT "Rendering ${name}.svg as a PNG"
            VERBATIM)
        list(APPEND pngs "${png}")
    endforeach()
    if(NOT pngs)
        message(FATAL_ERROR "talvex_png_icons: no SVG in ${qrc}")
    endif()
    string(REGEX REPLACE "\\.svg</file>" ".png</file>" text "${text}")
    file(MAKE_DIRECTORY "${out_dir}")
    file(WRITE "${out_dir}/${qrc_name}" "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${qrc}")
    # rcc reads the PNGs, which the custom commands above make first.
    set_source_files_properties("${out_dir}/${qrc_name}" PROPERTIES OBJECT_DEPENDS "${pngs}")
    add_custom_target(${target}_png_icons DEPENDS ${pngs})
    add_dependencies(${target} ${target}_png_icons)
    target_sources(${target} PRIVATE "${out_dir}/${qrc_name}")
    target_compile_definitions(${target} PRIVATE TALVEX_PNG_ICONS)
endfunction()
