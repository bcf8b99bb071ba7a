# The launcher's sources, relative to the top of the tree. Included by the top-level project and by
# the fuzz targets' own (tests/fuzz), so that a source added here is built and fuzzed alike.

# Pure code: everything the launcher can decide without touching the OS.
set(LAUNCHER_CORE_SOURCES
    launcher/install_layout.cpp
    launcher/command_line.cpp
    launcher/java_version.cpp
    launcher/search_path.cpp
    launcher/java_path.cpp
    launcher/launch_sequence.cpp
    launcher/log/log_record.cpp
)
# The thin Win32 layer that does the I/O.
set(LAUNCHER_WIN32_SOURCES
    launcher/win32_platform.cpp
    launcher/win32_buffer.cpp
    launcher/win32_environment.cpp
    launcher/win32_files.cpp
    launcher/win32_process.cpp
    launcher/probe.cpp
    launcher/program_search.cpp
    launcher/log/launcher_log.cpp
)
