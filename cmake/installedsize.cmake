# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack once the package is made (CPACK_POST_BUILD_SCRIPTS): sets its
# Installed-Size from the files it holds, as dpkg-gencontrol counts them:
# each file's size rounded up to KiB, and 1 for each directory, the top one
# included, and each link. CPack adds up the sizes the build directory's
# filesystem reports, a directory's too (4096 bytes on ext4, a few dozen on
# tmpfs), so one source gave another package on each filesystem. CMake
# 3.25's DEB generator has no setting for the field, hence the repacking.
find_program(KESTAVO_DPKG_DEB dpkg-deb REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.deb$")
        continue()
    endif()
    set(tree "${package}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND ${KESTAVO_DPKG_DEB} --raw-extract ${package} ${tree}
                    COMMAND_ERROR_IS_FATAL ANY)

    set(size 1)
    file(GLOB_RECURSE entries LIST_DIRECTORIES true "${tree}/*")
    foreach(entry IN LISTS entries)
        file(RELATIVE_PATH name "${tree}" "${entry}")
        if(name MATCHES "^DEBIAN(/|$)")
            continue()
        elseif(IS_SYMLINK "${entry}" OR IS_DIRECTORY "${entry}")
            math(EXPR size "${size} + 1")
        else()
            file(SIZE "${entry}" bytes)
            math(EXPR size "${size} + (${bytes} + 1023) / 1024")
        endif()
    endforeach()

    file(READ "${tree}/DEBIAN/control" control)
    string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${size}\n"
           control "${control}")
    file(WRITE "${tree}/DEBIAN/control" "${control}")
    # dpkg-deb refuses a control directory narrowed by a strict umask.
    file(CHMOD "${tree}/DEBIAN" DIRECTORY_PERMISSIONS
         OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    # Compressed as CPack compressed it; entries dated SOURCE_DATE_EPOCH,
    # which the project config file sets.
    execute_process(COMMAND ${KESTAVO_DPKG_DEB} --root-owner-group -Zgzip --build ${tree} ${package}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
    message(STATUS "Installed-Size of ${package}: ${size} KiB, from its files")
endforeach()
