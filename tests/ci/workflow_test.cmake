# The CI workflow, checked without GitHub: the schema validator must accept it and reject copies
# of it broken in ways GitHub would refuse (which also proves the validator really checks), and it
# must do what the README says a Windows machine does: the pacman packages and the three preset
# commands.
#
#   cmake -DVALIDATOR_DIR=<dir> -DWORKFLOW=<file> -DREADME=<file> -DWORK_DIR=<dir> -P workflow_test.cmake
#
# Prints "SKIP: <why>" first and stops where the validator or node is missing.

find_program(node node)
find_program(validator action-validator HINTS ${VALIDATOR_DIR} NO_CACHE)
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

# Exit code of the validator on FILE into VAR; its report into VAR_output.
function(validate file var)
    execute_process(COMMAND ${validator} ${file} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    set(${var} ${rc} PARENT_SCOPE)
    set(${var}_output "${out}" PARENT_SCOPE)
endfunction()

file(READ ${WORKFLOW} workflow)
validate(${WORKFLOW} result)
if(NOT result EQUAL 0)
    fail("the validator rejects ${WORKFLOW} (${result}):\n${result_output}")
endif()

# name|text in the workflow|what replaces it: each copy must be rejected.
set(broken
    "misspelt runs-on|runs-on: windows-latest|runs_on: windows-latest"
    "misspelt uses in a step|- uses: actions/checkout@v4|- use: actions/checkout@v4"
    "default shell under an unknown key|defaults:\n      run:|defaults:\n      runs:"
    "no steps in a job|    steps:\n      - uses: actions/checkout@v4\n      - name: Test|    stepz:\n      - uses: actions/checkout@v4\n      - name: Test")
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(n 0)
foreach(case IN LISTS broken)
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 name)
    list(GET parts 1 from)
    list(GET parts 2 to)
    string(FIND "${workflow}" "${from}" at)
    if(at EQUAL -1)
        fail("broken copy '${name}': the workflow no longer contains '${from}'; update this case")
        continue()
    endif()
    string(REPLACE "${from}" "${to}" copy "${workflow}")
    math(EXPR n "${n} + 1")
    set(copy_file ${WORK_DIR}/broken-${n}.yml)
    file(WRITE ${copy_file} "${copy}")
    validate(${copy_file} result)
    if(result EQUAL 0)
        fail("the validator accepts a broken copy of the workflow: ${name} (${copy_file})")
    endif()
endforeach()

# What the README tells a Windows maintainer to do is what the Windows job does.
file(READ ${README} readme)
foreach(command "cmake --preset windows" "cmake --build --preset windows" "ctest --preset windows")
    string(FIND "${workflow}" "run: ${command}\n" in_workflow)
    string(FIND "${readme}" "${command}" in_readme)
    if(in_workflow EQUAL -1 OR in_readme EQUAL -1)
        fail("'${command}' is not both a step of the workflow and in the README")
    endif()
endforeach()

string(REGEX MATCH "pacman -S[^\n]*" pacman_line "${readme}")
string(REGEX MATCHALL "mingw-w64-x86_64-[a-z0-9+-]+" readme_packages "${pacman_line}")
string(REGEX MATCHALL "mingw-w64-x86_64-[a-z0-9+-]+" workflow_packages "${workflow}")
list(SORT readme_packages)
list(SORT workflow_packages)
if(NOT readme_packages OR NOT readme_packages STREQUAL workflow_packages)
    fail("the README's pacman line (${readme_packages}) and the workflow (${workflow_packages}) install different packages")
endif()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} check(s) of the workflow failed")
endif()
message("OK: the workflow is valid, ${n} broken copies are rejected, and it does what the README says")
