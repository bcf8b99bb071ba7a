# The CI and release workflows, checked without GitHub: the schema validator must accept them and
# reject copies broken in ways GitHub would refuse (which also proves the validator really checks).
# CI's Windows job must install and run what the block marked "workflow-test" in WINDOWS_DOC says a
# Windows contributor does (the pacman packages and the three preset commands). The release must be
# built and tested as CI does, and publish its fixed set of files: its packaging script is run on
# a stand-in release folder.
#
#   cmake -DTOOLS_DIR=<dir> -DWORKFLOW=<ci.yml> -DRELEASE_WORKFLOW=<release.yml> -DCI_RUN=<.ci/run>
#         -DPACKAGE_SCRIPT=<package_release.sh> -DVERSION=<x.y.z> -DWINDOWS_DOC=<file> -DWORK_DIR=<dir>
#         -DBINARY_DIR=<build> -P workflow_test.cmake
#
# TOOLS_DIR is where npm ci installed tests/ci/package.json. Prints "SKIP: <why>" first and stops
# where the validator or node is missing. The SBOM is checked against the CycloneDX schema where
# TOOLS_DIR holds the SBOM validator; the OK line says so.
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

# Exit code of the validator on FILE into VAR; its report into VAR_output.
function(validate file var)
    execute_process(COMMAND ${validator} ${file} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    set(${var} ${rc} PARENT_SCOPE)
    set(${var}_output "${out}" PARENT_SCOPE)
endfunction()

file(READ ${WORKFLOW} workflow)
get_filename_component(workflows_dir ${WORKFLOW} DIRECTORY)
set(KIT_WORKFLOW ${workflows_dir}/test-kit.yml)
foreach(file ${WORKFLOW} ${KIT_WORKFLOW})
    validate(${file} result)
    if(NOT result EQUAL 0)
        fail("the validator rejects ${file} (${result}):\n${result_output}")
    endif()
endforeach()

# name|text in the workflow|what replaces it: each copy must be rejected.
set(broken
    "misspelt runs-on|runs-on: windows-2022|runs_on: windows-2022"
    "misspelt uses in a step|- uses: actions/checkout@v4|- use: actions/checkout@v4"
    "default shell under an unknown key|defaults:\n      run:|defaults:\n      runs:"
    "no steps in a job|    steps:\n      - uses: actions/checkout@v4\n      - name: Test|    stepz:\n      - uses: actions/checkout@v4\n      - name: Test")
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

# What the marked block of the Windows page tells a contributor to do is what the Windows job does.
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

# The release workflow. The pinned validator's schema predates the attestations permission, so it
# sees a copy without that line; without it the publishing job cannot store the attestation.
file(READ ${RELEASE_WORKFLOW} release)
string(REGEX REPLACE "\n *attestations: write[^\n]*" "" release_checked "${release}")
set(release_file ${WORK_DIR}/release-checked.yml)
file(WRITE ${release_file} "${release_checked}")
validate(${release_file} result)
if(release_checked STREQUAL release OR NOT result EQUAL 0)
    fail("the validator rejects ${RELEASE_WORKFLOW}, or it asks for no attestations: write (${result}):\n${result_output}")
endif()
set(broken_release "misspelt permission scope|id-token: write|id_token: write")
reject_broken_copies("${release_checked}" broken_release)

# Tested as CI does (.ci/run), the Windows job of ci.yml run on the tag, and the release folder built
# by the release target.
file(STRINGS ${CI_RUN} ci_run_lines)
list(GET ci_run_lines -1 ci_run_command)
foreach(what "run: bash .ci/run\n" "uses: ./.github/workflows/ci.yml\n" "cmake --build --preset mingw --target release\n"
        "uses: ./.github/workflows/test-kit.yml\n" "needs: [build, windows, kit]\n")
    string(FIND "${release}" "${what}" at)
    if(at EQUAL -1)
        fail("the release is not built as CI builds it: '${what}' is missing from ${RELEASE_WORKFLOW}")
    endif()
endforeach()
# A release publishes exactly its nine files, checksummed, with the version's CHANGELOG.md section,
# the truth about the signature and the rebuild command (.ci/run's) in its notes. The packaging
# script runs on a stand-in release folder, from a copy of the sources whose CHANGELOG.md has an
# older release below that the notes must not run into.
set(release_files LICENSE.txt SHA256SUMS THIRD-PARTY-NOTICES.txt launcher-check.exe launcher-unsigned.exe
    launcher.exe sorvane-launcher-${VERSION}.cdx.json sorvane-launcher-${VERSION}.zip
    sorvane-launcher-tests-${VERSION}.zip)
set(stand_in ${WORK_DIR}/stand-in)
get_filename_component(script_name ${PACKAGE_SCRIPT} NAME)
get_filename_component(source_dir ${PACKAGE_SCRIPT}/../.. ABSOLUTE)
file(COPY ${PACKAGE_SCRIPT} ${source_dir}/scripts/release_files.py DESTINATION ${stand_in}/src/scripts)
file(COPY ${source_dir}/CMakeLists.txt DESTINATION ${stand_in}/src)
file(READ ${source_dir}/CHANGELOG.md changelog)
file(WRITE ${stand_in}/src/CHANGELOG.md "${changelog}\n## [0.0.1] - 2000-01-01\n\n- An older release.\n")
file(MAKE_DIRECTORY ${stand_in}/release/jre ${stand_in}/release/security)
file(WRITE ${stand_in}/release/README-vendor.txt "what goes where\r\n")
file(WRITE ${stand_in}/unsigned.exe "MZ unsigned")
file(WRITE ${stand_in}/release/launcher-check.exe "MZ the check")
file(WRITE ${stand_in}/sorvane-launcher-tests-${VERSION}.zip "PK the test kit")
# The license and the notices as the release target makes them, from this build's link maps.
file(COPY ${BINARY_DIR}/LICENSE.txt DESTINATION ${stand_in}/release)
execute_process(COMMAND python3 ${source_dir}/scripts/release_files.py notices ${BINARY_DIR}/launcher.map
    ${BINARY_DIR}/launcher-check.map ${stand_in}/release/THIRD-PARTY-NOTICES.txt)
set(schema "not checked against the CycloneDX 1.6 schema: no validator in ${TOOLS_DIR} (scripts/setup.sh)")
if(EXISTS ${TOOLS_DIR}/node_modules/@cyclonedx/cyclonedx-library/package.json)
    set(schema "valid against the CycloneDX 1.6 schema")
endif()
# The last run packages the unsigned release again, all its files dated otherwise: same bytes.
foreach(kind signed unsigned unsigned-again)
    if(kind STREQUAL "signed")
        file(WRITE ${stand_in}/release/launcher.exe "MZ unsigned, and a signature")
    elseif(kind STREQUAL "unsigned")
        file(COPY_FILE ${stand_in}/unsigned.exe ${stand_in}/release/launcher.exe)
    else()
        file(GLOB entries ${stand_in}/release/*)
        execute_process(COMMAND touch -d @1000000000 ${entries})
    endif()
    set(out ${stand_in}/dist-${kind})
    execute_process(COMMAND bash ${stand_in}/src/scripts/${script_name} ${VERSION} ${stand_in}/release
            ${stand_in}/unsigned.exe ${out} ${out}.md ${stand_in}/sorvane-launcher-tests-${VERSION}.zip
        RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
    file(GLOB made RELATIVE ${out} ${out}/*)
    list(SORT made)
    execute_process(COMMAND sha256sum --check --strict SHA256SUMS WORKING_DIRECTORY ${out}
        RESULT_VARIABLE sums_rc OUTPUT_VARIABLE checked ERROR_VARIABLE checked)
    string(REGEX MATCHALL ": OK" oks "${checked}: OK") # and SHA256SUMS itself
    list(LENGTH oks ok_count)
    list(LENGTH made made_count)
    file(READ ${out}.md notes)
    string(FIND "${notes}" "\n## [" other_section)
    string(FIND "${notes}" "\n### " own_section)
    string(FIND "${notes}" "is not signed" says_unsigned)
    string(FIND "${notes}" "\n${ci_run_command}\n" says_rebuild)
    if(NOT rc EQUAL 0)
        fail("package_release.sh ${VERSION} (${kind}) failed (${rc}):\n${output}")
    elseif(NOT made STREQUAL release_files)
        fail("a ${kind} release publishes [${made}], not [${release_files}]")
    elseif(NOT sums_rc EQUAL 0 OR NOT ok_count EQUAL made_count)
        fail("SHA256SUMS of a ${kind} release does not cover every other file:\n${checked}")
    elseif(NOT other_section EQUAL -1 OR own_section EQUAL -1 OR says_rebuild EQUAL -1)
        fail("the notes of ${VERSION} do not hold its CHANGELOG.md section alone and the rebuild command (${out}.md)")
    elseif((kind STREQUAL "signed" AND NOT says_unsigned EQUAL -1) OR
           (kind MATCHES "^unsigned" AND says_unsigned EQUAL -1))
        fail("the notes of a ${kind} release say the wrong thing about the signature (${out}.md)")
    endif()

    # The notices name the MinGW-w64 runtime, in both programs; the SBOM lists it and these very files.
    file(READ ${out}/THIRD-PARTY-NOTICES.txt notices)
    set(sbom ${out}/sorvane-launcher-${VERSION}.cdx.json)
    file(READ ${sbom} bom)
    string(JSON listed ERROR_VARIABLE error GET "${bom}" metadata component hashes 0 content)
    string(JSON listed_unsigned ERROR_VARIABLE error GET "${bom}" metadata component pedigree ancestors 0 hashes 0 content)
    string(JSON listed_check ERROR_VARIABLE error GET "${bom}" components 0 hashes 0 content)
    file(SHA256 ${out}/launcher.exe sum)
    file(SHA256 ${out}/launcher-unsigned.exe unsigned_sum)
    file(SHA256 ${out}/launcher-check.exe check_sum)
    string(FIND "${notices}" "\nComponent:      MinGW-w64 runtime\n" names_runtime)
    string(FIND "${notices}" "\nPrograms:       launcher.exe, launcher-check.exe\n" names_programs)
    string(FIND "${bom}" "\"purl\": \"pkg:deb/debian/mingw-w64-x86-64-dev@" lists_runtime)
    set(valid 0)
    if(schema MATCHES "^valid")
        execute_process(COMMAND ${node} -e [[
            const {Validation} = require("@cyclonedx/cyclonedx-library");
            new Validation.JsonValidator("1.6").validate(require("fs").readFileSync(process.argv[1], "utf8"))
                .then(e => { process.exitCode = e ? 1 : 0; console.log(JSON.stringify(e)); }, e => { throw e; });]]
            ${sbom} WORKING_DIRECTORY ${TOOLS_DIR} RESULT_VARIABLE valid OUTPUT_VARIABLE report ERROR_VARIABLE report)
    endif()
    file(READ ${out}/SHA256SUMS sums)
    if(kind STREQUAL "unsigned")
        set(first_sums "${sums}")
    endif()
    if(names_runtime EQUAL -1 OR names_programs EQUAL -1 OR lists_runtime EQUAL -1)
        fail("THIRD-PARTY-NOTICES.txt or the SBOM of a ${kind} release does not name the MinGW-w64 runtime of both programs")
    elseif(NOT listed STREQUAL sum OR NOT listed_unsigned STREQUAL unsigned_sum OR NOT listed_check STREQUAL check_sum)
        fail("the SBOM of a ${kind} release has other SHA-256s than its launcher files (${sbom})")
    elseif(NOT valid EQUAL 0)
        fail("the SBOM of a ${kind} release is not valid CycloneDX 1.6 (${valid}): ${report}")
    elseif(kind STREQUAL "unsigned-again" AND NOT sums STREQUAL first_sums)
        fail("packaging the same release folder twice gives different files:\n${first_sums}\n${sums}")
    endif()
endforeach()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} check(s) of the workflows failed")
endif()
message("OK: the workflows are valid, ${n} broken copies are rejected, the Windows job does what its page says, "
        "and a release publishes its nine files, the same bytes each time; its SBOM is ${schema}")
