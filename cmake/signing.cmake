# Optional Authenticode signing of the shipped programs, launcher.exe and launcher-check.exe, with
# osslsigncode, each right after it is linked.
#
#   cmake --preset mingw -DSORVANE_SIGN_PFX=/path/to/codesign.pfx \
#         [-DSORVANE_SIGN_TIMESTAMP_URL=http://timestamp.example] && cmake --build --preset mingw
#
# The password comes from SORVANE_SIGN_PASSWORD: best from the environment at build time, which
# keeps it out of CMakeCache.txt and build.ninja; as a cache variable it is stored in both.
# SORVANE_SIGN_PFX falls back to the environment variable when configuring. Without a PFX the
# build does not change at all.
#
# This file is also the signing step itself, run as a script by the build (cmake -P).

if(CMAKE_SCRIPT_MODE_FILE)
    if(NOT DEFINED SORVANE_SIGN_PASSWORD)
        set(SORVANE_SIGN_PASSWORD "$ENV{SORVANE_SIGN_PASSWORD}")
    endif()
    # A ; in the password must not split the argument list.
    string(REPLACE ";" "\\;" password "${SORVANE_SIGN_PASSWORD}")
    set(pass_args)
    if(NOT password STREQUAL "")
        set(pass_args -pass "${password}")
    endif()
    set(ts_args)
    if(SORVANE_SIGN_TIMESTAMP_URL)
        set(ts_args -ts "${SORVANE_SIGN_TIMESTAMP_URL}")
    endif()
    # Signed next to it, then moved over it: a failed signing never leaves a half-written file.
    set(signed "${SORVANE_SIGN_FILE}.signed")
    file(REMOVE "${signed}")
    execute_process(
        COMMAND "${SORVANE_OSSLSIGNCODE}" sign -pkcs12 "${SORVANE_SIGN_PFX}" ${pass_args}
                -h sha256 ${ts_args} -in "${SORVANE_SIGN_FILE}" -out "${signed}"
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT EXISTS "${signed}")
        file(REMOVE "${signed}")
        # Without the unsigned file the next build links and signs again instead of
        # taking the unsigned one as up to date.
        file(REMOVE "${SORVANE_SIGN_FILE}")
        message(FATAL_ERROR "signing ${SORVANE_SIGN_FILE} failed (${result}):\n${output}")
    endif()
    file(RENAME "${signed}" "${SORVANE_SIGN_FILE}")
    return()
endif()

set(_sorvane_pfx_doc "PKCS#12 file to sign launcher.exe and launcher-check.exe with (empty: the SORVANE_SIGN_PFX environment variable, else no signing)")
set(SORVANE_SIGN_PFX "" CACHE FILEPATH "${_sorvane_pfx_doc}")
set(SORVANE_SIGN_PASSWORD "" CACHE STRING
    "Password of the PKCS#12 file, stored in plain text (empty: the environment variable at build time)")
set(SORVANE_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping server for the signature (optional)")
mark_as_advanced(SORVANE_SIGN_PASSWORD)

# Kept in the cache once taken from the environment: a later automatic re-run of CMake in a
# shell without the variable must not quietly turn signing off.
if(SORVANE_SIGN_PFX STREQUAL "" AND NOT "$ENV{SORVANE_SIGN_PFX}" STREQUAL "")
    set(SORVANE_SIGN_PFX "$ENV{SORVANE_SIGN_PFX}" CACHE FILEPATH "${_sorvane_pfx_doc}" FORCE)
endif()
set(_sorvane_pfx "${SORVANE_SIGN_PFX}")

# Each target that ships, with its file name for the messages.
set(_sorvane_signed_targets launcher launcher.exe launcher_check launcher-check.exe)

if(_sorvane_pfx STREQUAL "")
    message(STATUS "launcher.exe, launcher-check.exe: not signed (no SORVANE_SIGN_PFX)")
else()
    get_filename_component(_sorvane_pfx "${_sorvane_pfx}" ABSOLUTE)
    if(NOT EXISTS "${_sorvane_pfx}")
        message(FATAL_ERROR "SORVANE_SIGN_PFX: no such file: ${_sorvane_pfx}")
    endif()
    find_program(SORVANE_OSSLSIGNCODE osslsigncode)
    if(NOT SORVANE_OSSLSIGNCODE)
        message(FATAL_ERROR "signing launcher.exe needs osslsigncode (scripts/setup.sh installs it)")
    endif()

    set(_sorvane_sign_args
        -DSORVANE_OSSLSIGNCODE=${SORVANE_OSSLSIGNCODE}
        -DSORVANE_SIGN_PFX=${_sorvane_pfx}
        -DSORVANE_SIGN_TIMESTAMP_URL=${SORVANE_SIGN_TIMESTAMP_URL})
    # Only a password set in the cache goes on the command line; otherwise the step reads it
    # from the environment when it runs.
    if(NOT SORVANE_SIGN_PASSWORD STREQUAL "")
        string(REPLACE ";" "\\;" _sorvane_password "${SORVANE_SIGN_PASSWORD}")
        list(APPEND _sorvane_sign_args "-DSORVANE_SIGN_PASSWORD=${_sorvane_password}")
    endif()
    while(_sorvane_signed_targets)
        list(POP_FRONT _sorvane_signed_targets _sorvane_target _sorvane_file)
        add_custom_command(TARGET ${_sorvane_target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} ${_sorvane_sign_args} -DSORVANE_SIGN_FILE=$<TARGET_FILE:${_sorvane_target}>
                -P ${CMAKE_CURRENT_LIST_FILE}
            COMMENT "Signing ${_sorvane_file} with ${_sorvane_pfx}"
            VERBATIM)
        # A renewed certificate under the same file name signs again.
        set_property(TARGET ${_sorvane_target} APPEND PROPERTY LINK_DEPENDS ${_sorvane_pfx})
        message(STATUS "${_sorvane_file}: signed with ${_sorvane_pfx}")
    endwhile()
endif()
