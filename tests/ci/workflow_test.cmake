# The CI and release workflows, checked without GitHub: the schema validator must accept them and
# reject copies broken in ways GitHub would refuse (which also proves the validator really checks).
# CI must do what the README says a Windows machine does: the pacman packages and the three preset
# commands. The release must build as CI and the README do, publish only from its last job, and
# publish what the README names: its packaging script is run on a stand-in release folder.
#
#   cmake -DVALIDATOR_DIR=<dir> -DWORKFLOW=<ci.yml> -DRELEASE_WORKFLOW=<release.yml> -DCI_RUN=<.ci/run>
#         -DPACKAGE_SCRIPT=<package_release.sh> -DVERSION=<x.y.z> -DREADME=<file> -DWORK_DIR=<dir>
#         -P workflow_test.cmake
#
# Prints "SKIP: <why>" first and stops where the validator or node is missing.
cmake_minimum_required(VERSION 3.21)

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
    "misspelt runs-on|runs-on: windows-2022|runs_on: windows-2022"
    "misspelt uses in a step|- uses: actions/checkout@v4|- use: actions/checkout@v4"
    "default shell under an unknown key|defaults:\n      run:|defaults:\n      runs:"
    "no steps in a job|    steps:\n      - uses: actions/checkout@v4\n      - name: Test|    stepz:\n      - uses: actions/checkout@v4\n      - name: Test"
    "workflow_call input of an unknown type|type: boolean|type: bool")
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(n 0)
# Each name|from|to case of LIST applied to TEXT must be rejected.
function(reject_broken_copies text list)
    foreach(case IN LISTS ${list})
        string(REPLACE "|" ";" parts "${case}")
        list(GET parts 0 name)
        list(GET parts 1 from)
        list(GET parts 2 to)
        string(FIND "${text}" "${from}" at)
        if(at EQUAL -1)
            fail("broken copy '${name}': the workflow no longer contains '${from}'; update this case")
            continue()
        endif()
        string(REPLACE "${from}" "${to}" copy "${text}")
        math(EXPR n "${n} + 1")
        set(copy_file ${WORK_DIR}/broken-${n}.yml)
        file(WRITE ${copy_file} "${copy}")
        validate(${copy_file} result)
        if(result EQUAL 0)
            fail("the validator accepts a broken copy of a workflow: ${name} (${copy_file})")
        endif()
    endforeach()
    set(n ${n} PARENT_SCOPE)
    set(failures ${failures} PARENT_SCOPE)
endfunction()
reject_broken_copies("${workflow}" broken)

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

# The release workflow. The pinned validator's schema predates the attestations permission, so it
# sees a copy without that line; the publishing job cannot store an attestation without it.
file(READ ${RELEASE_WORKFLOW} release)
string(REGEX REPLACE "\n *attestations: write[^\n]*" "" release_checked "${release}")
if(release_checked STREQUAL release)
    fail("the release workflow asks for no attestations: write, which storing the attestation needs")
endif()
set(release_file ${WORK_DIR}/release-checked.yml)
file(WRITE ${release_file} "${release_checked}")
validate(${release_file} result)
if(NOT result EQUAL 0)
    fail("the validator rejects ${RELEASE_WORKFLOW} (${result}):\n${result_output}")
endif()
set(broken_release
    "misspelt permission scope|id-token: write|id_token: write"
    "a job that calls a workflow and also has a runner|uses: ./.github/workflows/ci.yml\n|uses: ./.github/workflows/ci.yml\n    runs-on: ubuntu-latest\n")
reject_broken_copies("${release_checked}" broken_release)

# Built and tested as CI does, its Windows job included, and released with the README's commands.
file(STRINGS ${CI_RUN} ci_run_lines)
list(GET ci_run_lines -1 ci_run_command)
foreach(check
        "release|run: bash .ci/run\n|the Debian job does not run .ci/run as CI does"
        "ci|run: bash .ci/run\n|CI does not run .ci/run"
        "readme|${ci_run_command}|the README does not give .ci/run's command (${ci_run_command})"
        "release|cmake --build --preset mingw --target release\n|the release folder is not built with the README's command"
        "readme|cmake --build --preset mingw --target release|the README does not give the release target's command"
        "release|uses: ./.github/workflows/ci.yml\n|the Windows job of ci.yml is not run on the tag"
        "ci|workflow_call:|ci.yml cannot be called by the release workflow")
    string(REPLACE "|" ";" parts "${check}")
    list(GET parts 0 where)
    list(GET parts 1 what)
    list(GET parts 2 why)
    if(where STREQUAL "release")
        string(FIND "${release}" "${what}" at)
    elseif(where STREQUAL "ci")
        string(FIND "${workflow}" "${what}" at)
    else()
        file(READ ${README} readme_text)
        string(FIND "${readme_text}" "${what}" at)
    endif()
    if(at EQUAL -1)
        fail("${why}")
    endif()
endforeach()

# Least privilege: read by default, and write only in the last job, which needs all the others.
string(FIND "${release}" "\npermissions:\n  contents: read\n" read_default)
string(FIND "${release}" "\n  publish:\n" publish_at)
string(FIND "${release}" ": write" first_write)
string(FIND "${release}" "\njobs:\n" jobs_at)
string(SUBSTRING "${release}" ${jobs_at} -1 jobs_text)
string(REGEX MATCHALL "\n  [a-z_-]+:\n" jobs "${jobs_text}")
string(REGEX MATCH "\n    needs: \\[([^]]*)\\]" needs_line "${release}")
string(REGEX MATCHALL "[a-z_-]+" needs "${CMAKE_MATCH_1}")
string(REGEX MATCHALL "[a-z_-]+" job_names "${jobs}")
list(REMOVE_ITEM job_names publish)
list(SORT needs)
list(SORT job_names)
if(read_default EQUAL -1 OR publish_at EQUAL -1 OR first_write LESS publish_at)
    fail("the release workflow must default to contents: read and ask for write only in its publish job")
elseif(NOT needs STREQUAL job_names)
    fail("the publish job needs [${needs}] but the other jobs are [${job_names}]: it must wait for all of them")
endif()

# What the workflow publishes is the directory its packaging step fills ...
string(REGEX MATCH "scripts/package_release.sh [^\n]+\n[ ]+[^ ]+ ([^ \n]+) " package_line "${release}")
set(dist "${CMAKE_MATCH_1}")
string(FIND "${release}" "subject-path: ${dist}/*\n" attested)
string(FIND "${release}" "gh release create \"$TAG\" ${dist}/* " published)
if(NOT package_line OR attested EQUAL -1 OR published EQUAL -1)
    fail("the release workflow does not attest and publish exactly the directory package_release.sh fills ('${dist}')")
endif()

# ... and that is what the README's "What is published" names.
file(READ ${README} readme_text)
string(REGEX MATCH "\\*\\*What is published\\.\\*\\*[^*]*" published_text "${readme_text}")
string(REGEX MATCHALL "\n- `[^`]+`" readme_files "${published_text}")
string(REGEX REPLACE "\n- `([^`]+)`" "\\1" readme_files "${readme_files}")
string(REPLACE "<version>" "${VERSION}" readme_files "${readme_files}")
list(SORT readme_files)

# The script runs from a copy of the sources whose CHANGELOG.md has an older release below, which
# the notes must not run into.
set(stand_in ${WORK_DIR}/stand-in)
get_filename_component(PACKAGE_SCRIPT ${PACKAGE_SCRIPT} ABSOLUTE)
get_filename_component(source_dir ${PACKAGE_SCRIPT} DIRECTORY)
get_filename_component(source_dir ${source_dir} DIRECTORY)
file(COPY ${PACKAGE_SCRIPT} DESTINATION ${stand_in}/src/scripts)
file(COPY ${source_dir}/CMakeLists.txt DESTINATION ${stand_in}/src)
file(READ ${source_dir}/CHANGELOG.md changelog)
file(WRITE ${stand_in}/src/CHANGELOG.md "${changelog}\n## [0.0.1] - 2000-01-01\n\n- An older release.\n")
get_filename_component(script_name ${PACKAGE_SCRIPT} NAME)
set(PACKAGE_SCRIPT ${stand_in}/src/scripts/${script_name})
file(MAKE_DIRECTORY ${stand_in}/release/jre ${stand_in}/release/security)
file(WRITE ${stand_in}/release/README-vendor.txt "what goes where\r\n")
file(WRITE ${stand_in}/unsigned.exe "MZ unsigned")
# signed|not signed: a signed release, then one without a certificate (the same file twice).
foreach(kind signed unsigned)
    if(kind STREQUAL "signed")
        file(WRITE ${stand_in}/release/launcher.exe "MZ unsigned, and a signature")
    else()
        file(COPY_FILE ${stand_in}/unsigned.exe ${stand_in}/release/launcher.exe)
    endif()
    set(out ${stand_in}/dist-${kind})
    set(notes ${stand_in}/notes-${kind}.md)
    execute_process(COMMAND bash ${PACKAGE_SCRIPT} ${VERSION} ${stand_in}/release ${stand_in}/unsigned.exe ${out} ${notes}
        RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT rc EQUAL 0)
        fail("package_release.sh ${VERSION} (${kind}) failed (${rc}):\n${output}")
        continue()
    endif()
    file(GLOB made RELATIVE ${out} ${out}/*)
    list(SORT made)
    if(NOT made STREQUAL readme_files)
        fail("a ${kind} release publishes [${made}] but the README names [${readme_files}]")
    endif()
    execute_process(COMMAND sha256sum --check --strict SHA256SUMS WORKING_DIRECTORY ${out}
        RESULT_VARIABLE rc OUTPUT_VARIABLE checked ERROR_VARIABLE checked)
    string(REGEX MATCHALL ": OK" oks "${checked}")
    list(LENGTH oks ok_count)
    list(LENGTH made made_count)
    math(EXPR expected "${made_count} - 1")
    if(NOT rc EQUAL 0 OR NOT ok_count EQUAL expected)
        fail("SHA256SUMS of a ${kind} release does not check out for all ${expected} other files:\n${checked}")
    endif()
    file(READ ${notes} notes_text)
    string(FIND "${notes_text}" "\n## [" leak)
    string(FIND "${notes_text}" "\n### " section)
    string(FIND "${notes_text}" "is not signed" says_unsigned)
    if(NOT leak EQUAL -1 OR section EQUAL -1)
        fail("the notes of ${VERSION} do not hold its CHANGELOG.md section alone (${notes})")
    endif()
    if((kind STREQUAL "signed" AND NOT says_unsigned EQUAL -1) OR
       (kind STREQUAL "unsigned" AND says_unsigned EQUAL -1))
        fail("the notes of a ${kind} release say the wrong thing about the signature (${notes})")
    endif()
endforeach()

# A tag for another version than the one built in publishes nothing.
execute_process(COMMAND bash ${PACKAGE_SCRIPT} ${VERSION}1 ${stand_in}/release ${stand_in}/unsigned.exe
        ${stand_in}/dist-wrong ${stand_in}/notes-wrong.md
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0 OR EXISTS ${stand_in}/dist-wrong)
    fail("package_release.sh packs a tag whose version (${VERSION}1) is not the project's")
endif()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} check(s) of the workflows failed")
endif()
message("OK: the workflows are valid, ${n} broken copies are rejected, they do what the README says, "
        "and a release publishes the files the README names")
