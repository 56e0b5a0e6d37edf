# The Debian package (CPack, DEB): the three programs, the desktop entry
# with its icon and AppStream data, talvexctl's man page made from its help
# table (the other two from their --help), the udev rule for the
# programmer's FTDI chip, and the Debian documents. scripts/package.sh builds it from an existing build tree.
#
# Linux with the windows only: the Windows installer is made elsewhere.

if(WIN32 OR NOT TALVEX_BUILD_GUI)
    return()
endif()

include(GNUInstallDirs)

set(TALVEX_PACKAGE_NAME talvex-setting-manager)
set(TALVEX_APP_ID example.talvex.SettingManager)
set(_talvex_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_talvex_generated ${PROJECT_BINARY_DIR}/packaging)
# Relative to the prefix: /usr/lib/udev/rules.d in the package, which udev
# reads on every Debian since usr was merged.
set(TALVEX_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "Where the udev rule is installed (relative to the prefix)")

# talvexctl(1) from the command table, compressed as Debian wants it.
add_executable(talvexctl-manpage src/cli/ManPageMain.cpp)
target_link_libraries(talvexctl-manpage PRIVATE talvex_cli)
find_program(TALVEX_GZIP gzip REQUIRED)
add_custom_command(
    OUTPUT ${_talvex_generated}/talvexctl.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_talvex_generated}
    COMMAND talvexctl-manpage ${_talvex_generated}/talvexctl.1
    COMMAND ${TALVEX_GZIP} -9nf ${_talvex_generated}/talvexctl.1
    DEPENDS talvexctl-manpage
    COMMENT "talvexctl(1) from the help table")
# talvexctl's completion for bash, zsh and fish, from the same table.
add_executable(talvexctl-completion src/cli/CompletionMain.cpp)
target_link_libraries(talvexctl-completion PRIVATE talvex_cli)
set(_talvex_completions "")
foreach(shell_file bash:talvexctl zsh:_talvexctl fish:talvexctl.fish)
    string(REPLACE ":" ";" _pair ${shell_file})
    list(GET _pair 0 _shell)
    list(GET _pair 1 _file)
    add_custom_command(
        OUTPUT ${_talvex_generated}/completion/${_shell}/${_file}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_talvex_generated}/completion/${_shell}
        COMMAND talvexctl-completion ${_shell} ${_talvex_generated}/completion/${_shell}/${_file}
        DEPENDS talvexctl-completion
        COMMENT "talvexctl's ${_shell} completion from the help table")
    list(APPEND _talvex_completions ${_talvex_generated}/completion/${_shell}/${_file})
endforeach()
configure_file(${_talvex_packaging}/changelog.in ${_talvex_generated}/changelog @ONLY)
add_custom_command(
    OUTPUT ${_talvex_generated}/changelog.gz
    COMMAND ${TALVEX_GZIP} -9nc ${_talvex_generated}/changelog > ${_talvex_generated}/changelog.gz
    DEPENDS ${_talvex_generated}/changelog
    COMMENT "the package's changelog")
# The other two programs' pages from their own --help.
set(_talvex_man_pages ${_talvex_generated}/talvexctl.1.gz)
foreach(program talvex-setting-manager talvex-simulator)
    if(program STREQUAL talvex-setting-manager)
        set(summary "settings tool for the Talvex USB smartcard reader/programmer")
    else()
        set(summary "a simulated Talvex programmer on two pseudo-terminals")
    endif()
    add_custom_command(
        OUTPUT ${_talvex_generated}/${program}.1.gz
        COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program} "-DSUMMARY=${summary}"
                -DOUTPUT=${_talvex_generated}/${program}.1 -P ${PROJECT_SOURCE_DIR}/cmake/TalvexManFromHelp.cmake
        COMMAND ${TALVEX_GZIP} -9nf ${_talvex_generated}/${program}.1
        DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/TalvexManFromHelp.cmake
        COMMENT "${program}(1) from its --help")
    list(APPEND _talvex_man_pages ${_talvex_generated}/${program}.1.gz)
endforeach()
add_custom_target(talvex_package_files ALL
    DEPENDS ${_talvex_man_pages} ${_talvex_generated}/changelog.gz ${_talvex_completions})

install(TARGETS talvex-setting-manager talvexctl talvex-simulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_talvex_packaging}/${TALVEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_talvex_packaging}/${TALVEX_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_talvex_packaging}/${TALVEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_talvex_packaging}/60-talvex-programmer.rules DESTINATION ${TALVEX_UDEV_RULES_DIR})
install(FILES ${_talvex_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_talvex_generated}/completion/bash/talvexctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${_talvex_generated}/completion/zsh/_talvexctl DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${_talvex_generated}/completion/fish/talvexctl.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES ${_talvex_generated}/changelog.gz ${_talvex_packaging}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TALVEX_PACKAGE_NAME})

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME ${TALVEX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Talvex)
set(CPACK_PACKAGE_CONTACT "Talvex Support <support@talvex.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Applies the udev rule to a programmer already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_talvex_packaging}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.talvex.example/)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The Qt, curl and C++ libraries as dpkg-shlibdeps finds them; libftdi is
# loaded at run time, so only recommended; pcsc-tools names the cards.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows' SVG pictures load through Qt's svg plugins, which no linker sees.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libftdi1-2)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS pcsc-tools)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "settings tool for the Talvex USB smartcard reader/programmer
Finds the Talvex USB smartcard reader/programmer on the serial ports
and reads and writes its settings, uploads its firmware and writes the
USB serial number of its FTDI chip. A smartcard tool reads a card's
answer to reset.
.
talvexctl does the same from scripts, and talvexctl doctor tells what
on this system keeps the tool from the programmer. The udev rule lets
the user at the screen open the programmer's ports and keeps
ModemManager away from them.")
include(CPack)
