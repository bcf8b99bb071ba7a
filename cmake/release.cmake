# The release target: build/release/ laid out as a ready-to-zip install skeleton.
#   cmake --build --preset mingw --target release

# CRLF: the vendor reads it on Windows, where older Notepads show LF-only text as one line.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README-vendor.txt ${CMAKE_BINARY_DIR}/README-vendor.txt
    @ONLY NEWLINE_STYLE CRLF)

# Cleared first, so that nothing left over from an earlier build ends up in a zip.
# launcher.exe is copied after the link step, so it is the signed file when signing is configured.
add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E rm -rf release
    COMMAND ${CMAKE_COMMAND} -E make_directory release/jre release/security
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:launcher> release/launcher.exe
    COMMAND ${CMAKE_COMMAND} -E copy README-vendor.txt release/README-vendor.txt
    COMMAND ${CMAKE_COMMAND} -E echo "SHA-256 of the released launcher.exe:"
    COMMAND ${CMAKE_COMMAND} -E sha256sum release/launcher.exe
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    USES_TERMINAL
    VERBATIM)
add_dependencies(release launcher)
