# The CI and release workflows, checked without GitHub: the schema validator must accept them, and
# CI's Windows job must install and run what the block marked "workflow-test" in WINDOWS_DOC tells a
# Windows contributor to (the pacman packages and the three preset commands).
#
#   cmake -DTOOLS_DIR=<dir> -DWORKFLOWS=<.github/workflows> -DWINDOWS_DOC=<file> -DWORK_DIR=<dir>
#         -P workflow_test.cmake
#
# TOOLS_DIR is where npm ci installed tests/ci/package.json. Prints "SKIP: <why>" first and stops
# where the validator or node is missing.
cmake_minimum_required(VERSION 3.21)

find_program(node node)
find_program(validator action-validator HINTS ${TOOLS_DIR}/node_modules/.bin NO_CACHE)
if(NOT node OR NOT validator)
    message("SKIP: the workflow validator @action-validator/cli (and node) is not installed; "
            "on Debian scripts/setup.sh installs it into build/tools")
    return()
endif()

set(failures 0)
macro(fail text)
    message("FAIL: ${text}")
    math(EXPR failures "${failures} + 1")
endmacro()

# The pinned validator's schema predates the attestations permission, so it sees release.yml
# without that line; without it the publishing job cannot store the attestation.
file(READ ${WORKFLOWS}/release.yml release)
string(REGEX REPLACE "\n *attestations: write[^\n]*" "" release_checked "${release}")
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/release.yml "${release_checked}")
if(release_checked STREQUAL release)
    fail("${WORKFLOWS}/release.yml asks for no attestations: write")
endif()
foreach(file ${WORKFLOWS}/ci.yml ${WORKFLOWS}/test-kit.yml ${WORK_DIR}/release.yml)
    execute_process(COMMAND ${validator} ${file} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("the validator rejects ${file} (${result}):\n${output}")
    endif()
endforeach()

# What the marked block of the Windows page tells a contributor to do is what the Windows job does.
file(READ ${WORKFLOWS}/ci.yml workflow)
file(READ ${WINDOWS_DOC} windows_doc)
string(REGEX MATCH "<!-- workflow-test:[^\n]*\n```sh\n[^`]*" windows_block "${windows_doc}")
foreach(command "cmake --preset windows" "cmake --build --preset windows" "ctest --preset windows")
    string(FIND "${workflow}" "run: ${command}\n" in_workflow)
    string(FIND "${windows_block}" "\n${command}\n" in_doc)
    if(in_workflow EQUAL -1 OR in_doc EQUAL -1)
        fail("'${command}' is not both a step of the workflow and in the marked block of ${WINDOWS_DOC}")
    endif()
endforeach()

string(REGEX MATCH "pacman -S[^\n]*" pacman_line "${windows_block}")
string(REGEX MATCHALL "mingw-w64-x86_64-[a-z0-9+-]+" doc_packages "${pacman_line}")
string(REGEX MATCHALL "mingw-w64-x86_64-[a-z0-9+-]+" workflow_packages "${workflow}")
list(SORT doc_packages)
list(SORT workflow_packages)
if(NOT doc_packages OR NOT doc_packages STREQUAL workflow_packages)
    fail("the marked pacman line (${doc_packages}) and the workflow (${workflow_packages}) install different packages")
endif()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} check(s) of the workflows failed")
endif()
message("OK: the workflows are valid and the Windows job does what its page says")
