// Running a program with an exact command line and environment, capturing what it writes;
// listing and killing processes by image.
#pragma once

#include "tests/e2e/harness/win32_support.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane::e2e {

// Exit code given to a process the harness kills.
inline constexpr DWORD kKilledExitCode = 0xDEAD;

// ---- environment: a list of "NAME=VALUE" entries ----
std::vector<std::wstring> currentEnvironment();
std::optional<std::wstring> findVariable(const std::vector<std::wstring>& env, std::wstring_view name);
// Sets (or, with nullopt, removes) a variable; names compare case-insensitively, as Windows does.
void setVariable(std::vector<std::wstring>& env, std::wstring_view name, const std::optional<std::wstring>& value);
// The CREATE_UNICODE_ENVIRONMENT block: entries sorted case-insensitively, each NUL-terminated, plus a NUL.
std::wstring environmentBlock(std::vector<std::wstring> env);

// Makes one command-line argument that CommandLineToArgvW (and the C runtime) split back unchanged.
std::wstring quoteArgument(std::wstring_view argument);

struct ProcessOptions {
    std::optional<std::wstring> application;       // lpApplicationName; nullopt lets CreateProcessW search
    std::wstring commandLine;                      // passed exactly as given
    std::optional<std::vector<std::wstring>> env;  // nullopt inherits the harness's environment
    std::optional<std::wstring> currentDirectory;
    DWORD timeoutMs = 60000;
    bool mergeStderr = false;  // stderr onto the stdout pipe, as a probe of java usually gets it
    DWORD creationFlags = 0;
    // After the process has ended, how long to wait for its standard output to end too (every
    // write end closed, by it and whatever it started); ProcessRun::outputEnded tells when it did.
    DWORD outputEndWaitMs = 0;
    // Called about every 10 ms while the process runs, with its id (e.g. to dismiss its message box).
    std::function<void(DWORD processId)> whileWaiting;
    // lpDesktop, "station\desktop": where the process runs; nullopt: the harness's own desktop.
    std::optional<std::wstring> desktop;
};

struct ProcessRun {
    DWORD processId = 0;
    DWORD exitCode = 0;
    bool timedOut = false;  // then it was killed with kKilledExitCode
    std::chrono::milliseconds elapsed{};
    std::uint64_t exited = 0;  // FILETIME, from GetProcessTimes
    std::string out;
    std::string err;
    // Since the start, when standard output ended; nullopt when it had not within outputEndWaitMs.
    std::optional<std::chrono::milliseconds> outputEnded;
};

// Throws when the process cannot be started.
ProcessRun runProcess(const ProcessOptions& how);

// Only starts the process (application, command line, environment, directory, creation flags of
// how) with the given start-up record; the caller owns both handles. Throws when it cannot.
PROCESS_INFORMATION startProcess(const ProcessOptions& how, STARTUPINFOW& startup, bool inheritHandles);

// ---- processes by image ----
struct ProcessEntry {
    DWORD processId = 0;
    std::wstring imagePath;  // full path, without \\?\; empty when the process could not be opened
};

// Processes whose image lies inside dir; ctest runs tests in parallel, so filter by one's own folder.
std::vector<ProcessEntry> processesUnder(std::wstring_view dir);
// Waits up to graceMs for the processes to end by themselves; returns those still alive.
std::vector<ProcessEntry> stillRunning(const std::vector<ProcessEntry>& processes, DWORD graceMs);
// Kills them and waits (up to waitMs) until they are gone.
void killProcesses(const std::vector<ProcessEntry>& processes, DWORD waitMs = 5000);

}  // namespace sorvane::e2e
