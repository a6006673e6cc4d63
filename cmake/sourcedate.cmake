# SPDX-License-Identifier: GPL-3.0-or-later
# KESTAVO_SOURCE_DATE_EPOCH: the one time the package's files, its archive
# and the compiled-in resources carry, so that two builds of one source give
# the same bytes. SOURCE_DATE_EPOCH when the environment sets it (as Debian's
# build tools do), otherwise the last commit's date, otherwise, in a release
# tarball without git, the date of data/changelog's newest entry.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(KESTAVO_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
    set(source_date_from "SOURCE_DATE_EPOCH")
else()
    set(KESTAVO_SOURCE_DATE_EPOCH "")
    # Only this tree's own history: a tarball unpacked inside some other
    # checkout must not take that checkout's date.
    find_program(KESTAVO_GIT git)
    if(KESTAVO_GIT AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
        execute_process(COMMAND ${KESTAVO_GIT} -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                        OUTPUT_VARIABLE KESTAVO_SOURCE_DATE_EPOCH
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        set(source_date_from "the last commit")
    endif()
    if(KESTAVO_SOURCE_DATE_EPOCH STREQUAL "")
        # The trailer line: " -- Name <address>  Mon, 07 Dec 2026 12:00:00 +0000".
        file(STRINGS ${CMAKE_SOURCE_DIR}/data/changelog trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
        string(REGEX REPLACE "^ -- .*>  " "" changelog_date "${trailer}")
        execute_process(COMMAND date -u -d "${changelog_date}" +%s
                        OUTPUT_VARIABLE KESTAVO_SOURCE_DATE_EPOCH
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        set(source_date_from "data/changelog (${changelog_date})")
    endif()
endif()
if(NOT KESTAVO_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No source date from ${source_date_from}: "
                        "\"${KESTAVO_SOURCE_DATE_EPOCH}\" is no number of seconds")
endif()
message(STATUS "Source date for the package: ${KESTAVO_SOURCE_DATE_EPOCH}, from ${source_date_from}")
