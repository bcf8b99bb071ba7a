# The release target: build/release/ laid out as a ready-to-zip install skeleton.
#   cmake --build --preset mingw --target release

# CRLF: the vendor reads them on Windows, where older Notepads show LF-only text as one line.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README-vendor.txt ${CMAKE_BINARY_DIR}/README-vendor.txt
    @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)

# The third-party notices come from the link maps of these very programs and the Debian packages
# that installed what they link (scripts/release_files.py); without python3 the target says so.
find_program(SORVANE_PYTHON3 python3)
if(SORVANE_PYTHON3)
    set(_sorvane_notices ${SORVANE_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/release_files.py notices
        launcher.map launcher-check.map release/THIRD-PARTY-NOTICES.txt)
else()
    set(_sorvane_notices ${CMAKE_COMMAND} -E echo "release: THIRD-PARTY-NOTICES.txt needs python3"
        COMMAND ${CMAKE_COMMAND} -E false)
endif()

# Cleared first, so that nothing left over from an earlier build ends up in a zip.
# The programs are copied after their link steps, so they are the signed files when signing is
# configured.
add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E rm -rf release
    COMMAND ${CMAKE_COMMAND} -E make_directory release/jre release/security
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:launcher> release/launcher.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:launcher_check> release/launcher-check.exe
    COMMAND ${CMAKE_COMMAND} -E copy README-vendor.txt LICENSE.txt release/
    COMMAND ${_sorvane_notices}
    COMMAND ${CMAKE_COMMAND} -E echo "SHA-256 of the released programs:"
    COMMAND ${CMAKE_COMMAND} -E sha256sum release/launcher.exe release/launcher-check.exe
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    USES_TERMINAL
    VERBATIM)
add_dependencies(release launcher launcher_check)
