# SPDX-License-Identifier: GPL-3.0-or-later
# Installation under GNUInstallDirs and the Debian package built from it.
include(GNUInstallDirs)

set(KESTAVO_APP_ID io.github.kestavo.kestavo)
set(KESTAVO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(KESTAVO_MAINTAINER "Kestavo developers <kestavo@kestavo.invalid>"
    CACHE STRING "Maintainer field of the Debian package: the packager's name and address")

# The changelog's newest entry must be this release, or the package would
# claim a version its changelog never mentions.
file(STRINGS ${CMAKE_SOURCE_DIR}/data/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^kestavo \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "data/changelog starts with \"${changelog_head}\", "
                        "not with an entry for version ${PROJECT_VERSION}")
endif()

# Debian wants the man page and the changelog compressed, without a time
# stamp in the gzip header so that the package is reproducible.
find_program(KESTAVO_GZIP gzip REQUIRED)
set(compressed)
foreach(pair "docs/kestavo.1:kestavo.1.gz" "data/changelog:changelog.gz")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${target}
                       COMMAND ${KESTAVO_GZIP} -9n -c ${CMAKE_SOURCE_DIR}/${source}
                               > ${CMAKE_BINARY_DIR}/${target}
                       DEPENDS ${CMAKE_SOURCE_DIR}/${source}
                       COMMENT "Compressing ${source}"
                       VERBATIM)
    list(APPEND compressed ${CMAKE_BINARY_DIR}/${target})
endforeach()
add_custom_target(kestavo_compressed_docs ALL DEPENDS ${compressed})

# Directories the installation makes, and so the package's, get these
# permissions rather than 0777 less the umask. CMake still makes them with
# mkdir, so a umask such as 077 narrows them: `make package` packs under 022.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS kestavo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kestavo-web LIBRARY DESTINATION ${KESTAVO_PLUGIN_INSTALL_DIR})
# A stripped install (CPack's) also drops the compiler's notes, as dh_strip
# does, which plain strip leaves in.
find_program(KESTAVO_OBJCOPY NAMES ${CMAKE_OBJCOPY} objcopy)
if(KESTAVO_OBJCOPY)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${KESTAVO_OBJCOPY}\" --remove-section=.comment
                                    --remove-section=.note
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kestavo\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()")
endif()
install(FILES ${CMAKE_BINARY_DIR}/kestavo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/data/${KESTAVO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${KESTAVO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/data/kestavo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS KESTAVO_ICON_SIZES)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/kestavo-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kestavo.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/data/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestavo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestavo developers")
set(CPACK_PACKAGE_CONTACT "${KESTAVO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTAVO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns an antenna rotor from the desktop")
# The extended description, in lines short enough for Debian's tools.
set(CPACK_PACKAGE_DESCRIPTION "\
Kestavo sends position commands to an antenna rotor controller on a serial
port: type a heading into its window, click GO, and the rotor turns there.
The port is asked for once by number; a per-user port table points any
number at any device, such as a /dev/serial/by-id link or a pseudo-terminal
that carries a rotor on another machine.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# CPack takes the architecture from dpkg --print-architecture, this
# machine's; a cross build's comes from the target's GNU triplet.
if(CMAKE_CROSSCOMPILING)
    find_program(KESTAVO_DPKG_ARCHITECTURE dpkg-architecture REQUIRED)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env CC=${CMAKE_CXX_COMPILER}
                            ${KESTAVO_DPKG_ARCHITECTURE} -t ${CMAKE_LIBRARY_ARCHITECTURE}
                            -q DEB_HOST_ARCH
                    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS "Debian architecture of the package: ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
endif()
# Dependencies come from the libraries the program is linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its X11 and Wayland support as plugins at run time, where the
# library scan cannot see them; libqt6gui6 only recommends them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's Wayland plugin is left to the desktop: without it Kestavo runs
# through XWayland, where GNOME frames its window.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
# CPack dates every entry of the package SOURCE_DATE_EPOCH when the
# environment sets it; when not, with the source date this tree was
# configured with, rather than with the time of packaging.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT [[
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(ENV{SOURCE_DATE_EPOCH} @KESTAVO_SOURCE_DATE_EPOCH@)
endif()
]] @ONLY)
# Installed-Size from the package's files, not from the build directory's.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/installedsize.cmake)
include(CPack)
