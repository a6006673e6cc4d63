# Installation under GNUInstallDirs and the Debian package built from it.
include(GNUInstallDirs)

install(TARGETS kestavo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/kestavo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/kestavo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestavo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestavo developers")
set(CPACK_PACKAGE_CONTACT "Kestavo developers <kestavo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns an antenna rotor from the desktop")
set(CPACK_PACKAGE_DESCRIPTION "Kestavo sends position commands to an antenna rotor controller \
on a serial port: type a heading, click GO, and the rotor turns there.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies come from the libraries the program is linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its X11 and Wayland support as plugins at run time, where the
# library scan cannot see them; libqt6gui6 only recommends them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
