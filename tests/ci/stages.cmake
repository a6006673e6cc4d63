# SPDX-License-Identifier: GPL-3.0-or-later
# The stages .ci/run runs are the ones docs/development.md describes, in the
# same order: the CI section's table names each in its first column.
#   cmake -DSOURCE_DIR=... -P stages.cmake
file(STRINGS "${SOURCE_DIR}/.ci/run" run_lines REGEX "^stage '")
set(run_stages)
foreach(line IN LISTS run_lines)
    string(REGEX REPLACE "^stage '([^']*)'.*" "\\1" name "${line}")
    list(APPEND run_stages "${name}")
endforeach()

file(READ "${SOURCE_DIR}/docs/development.md" text)
string(REGEX REPLACE ".*\n## CI\n" "" text "${text}")
string(REGEX REPLACE "\n## .*" "" text "${text}")
string(REGEX MATCHALL "\n\\| `[^`]*` \\|" rows "${text}")
set(doc_stages)
foreach(row IN LISTS rows)
    string(REGEX REPLACE "\n\\| `([^`]*)` \\|" "\\1" name "${row}")
    list(APPEND doc_stages "${name}")
endforeach()

if(NOT run_stages)
    message(FATAL_ERROR ".ci/run: no line starting with stage '...'")
endif()
if(NOT run_stages STREQUAL doc_stages)
    list(JOIN run_stages ", " run_text)
    list(JOIN doc_stages ", " doc_text)
    message(FATAL_ERROR "stages differ\n  .ci/run:                   ${run_text}\n"
                        "  docs/development.md (CI): ${doc_text}")
endif()
