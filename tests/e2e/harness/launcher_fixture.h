// End-to-end harness for launcher.exe: a throw-away install, profile and Java per test, one call to run
// the launcher in it, and everything the run left behind gathered into a LaunchResult.
//
//   class Startup : public sorvane::e2e::LauncherTest {};
//   TEST_F(Startup, StartsJavawFromPath) {
//       auto& sandbox = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true,
//                                          .javaScript = StubScript().javaVersion("1.8.0_281").text()}}}});
//       const LaunchResult r = sandbox.run({.args = L"\"ARG\""});
//       ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
//   }
//
// Files are read back as the stubs wrote them (see stub_protocol.h for the formats).
// Set SORVANE_KEEP_TEMP to keep each test's folder for a look afterwards.
#pragma once

#include "tests/e2e/harness/message_box.h"
#include "tests/e2e/harness/process.h"
#include "tests/e2e/harness/stub_protocol.h"
#include "tests/e2e/harness/win32_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvane::e2e {

inline constexpr wchar_t kJarName[] = L"getdown-launcher-1.8.6.jar";

// The harness's own programs, beside the test executable; launcher.exe one level up.
std::wstring builtLauncherPath();
std::wstring builtCheckPath();   // launcher-check.exe, beside launcher.exe
std::wstring javaStubPath();
std::wstring javawStubPath();
std::wstring showBoxPath();

// Composes a stub script (see stub_protocol.h); bytes are taken as they are, zero bytes included.
class StubScript {
public:
    StubScript& out(std::string_view bytes);
    StubScript& err(std::string_view bytes);
    StubScript& sleep(DWORD ms);
    StubScript& hang();
    // What `java -version` of that version prints: three CRLF lines on stderr.
    StubScript& javaVersion(std::string_view version, bool toStdout = false);
    const std::string& text() const { return text_; }
    operator const std::string&() const { return text_; }

private:
    std::string text_;
};

// Puts a copy of the stub and its script (none when empty) into dir.
void placeJavaStub(const std::wstring& dir, const std::string& script = {});
void placeJavawStub(const std::wstring& dir, const std::string& script = {});

// ---- what stubs leave behind ----
struct JavawRun {
    DWORD processId = 0;
    std::wstring commandLine;        // GetCommandLineW(), raw
    std::vector<std::wstring> argv;  // CommandLineToArgvW of it
    // What a real Java makes of it: GetCommandLineA ('?' for what the ANSI code page lacks), and
    // whether each path on it opens through that text; nullopt where the line has no such value.
    std::wstring ansiCommandLine;
    struct {
        std::optional<bool> jar, trustStore, installPath, argument;
    } javaOpens;
    bool finished = false;           // false: killed, or still running
    std::uint64_t ended = 0;         // FILETIME
    DWORD exitCode = 0;
};
// Throws on a malformed file.
std::vector<JavawRun> parseJavawRecords(std::string_view bytes);

struct StubActivity {
    std::vector<std::wstring> probes;         // command line of each java.exe run there
    std::vector<DWORD> probeConsoleProcesses;  // processes on each run's console; 0: it had none
    std::vector<JavawRun> javawRuns;
};
StubActivity readStubActivity(const std::wstring& dir);
void clearStubActivity(const std::wstring& dir);

// ---- log records ----
struct LogRecord {
    std::string raw;        // the bytes before the 0x0D
    std::string timestamp;  // "YYYY-MM-DD hh:mm:ss" when wellFormed
    std::string message;    // what follows the 4 spaces when wellFormed
    bool wellFormed = false;
    bool terminated = true;  // false only for trailing bytes with no 0x0D after them
};
// Splits at each 0x0D; trailing bytes without one become a last, unterminated record.
std::vector<LogRecord> splitLogRecords(std::string_view bytes);
// Today's log file name, "YYYY-MM-DD.log", in local time.
std::wstring todayLogName();

// A fresh folder under %TEMP%, deleted with whatever runs from it (kept when SORVANE_KEEP_TEMP is set).
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// ---- the sandbox ----
enum class StubDir {
    Install,  // the launcher's own folder
    Jre,      // <install>\jre\bin
    Java,     // the "system Java" folder, on PATH unless a run says otherwise
    Cwd,      // the launcher's current directory in a run (by default)
};
inline constexpr std::array kAllStubDirs{StubDir::Install, StubDir::Jre, StubDir::Java, StubDir::Cwd};

struct StubSetup {
    bool java = false;
    bool javaw = false;
    std::string javaScript;
    std::string javawScript;
};

struct SandboxOptions {
    std::wstring installName = L"Tool";     // any characters a folder name may hold
    std::wstring profileName = L"profile";  // may hold '\' to nest; see nestedName() for long ones
    std::wstring javaDirName = L"java";  // the "system Java" folder, beside the install
    bool jar = true;
    bool cacerts = false;
    std::map<StubDir, StubSetup> stubs;
};

struct RunOptions {
    std::wstring args;                        // the raw command-line tail after the quoted launcher path
    std::optional<std::wstring> commandLine;  // the whole command line instead
    std::optional<std::wstring> program;      // another program instead of the install's launcher
    bool javaDirOnPath = true;
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> env;  // applied last; nullopt removes
    std::optional<std::wstring> currentDirectory;                           // default: dir(StubDir::Cwd)
    DWORD timeoutMs = 60000;    // a time-out kills the launcher and fails the test
    DWORD straysGraceMs = 500;  // how long stubs may take to end after the launcher did
    DWORD outputEndWaitMs = 0;          // see LaunchResult::outputEnded
    std::function<void()> whileRunning;  // called about every 10 ms while the launcher runs
    // Another window station's desktop to run on (see NonInteractiveStation); boxes shown there
    // cannot be found, so none is dismissed.
    std::optional<std::wstring> desktop;
};

struct LogFile {
    std::wstring name;
    std::string bytes;
};

struct BoxShown {
    std::wstring caption;
    std::wstring text;
};

struct LaunchResult {
    DWORD exitCode = 0;
    bool timedOut = false;
    std::chrono::milliseconds elapsed{};
    std::uint64_t ended = 0;  // FILETIME of the launcher's exit (GetProcessTimes)
    std::string out;  // what the launcher wrote to its stdout
    // Since the start, when its stdout pipe ended (every copy of the write end closed); nullopt
    // when it was still open outputEndWaitMs after the launcher ended.
    std::optional<std::chrono::milliseconds> outputEnded;
    std::string err;
    std::vector<LogFile> logFiles;                        // every *.log in the log folder, by name
    std::string log;                                      // their bytes, concatenated in that order
    std::vector<BoxShown> boxes;                          // message boxes the launcher showed, in order
    std::array<StubActivity, kAllStubDirs.size()> stubs;  // this run's records, by StubDir
    std::vector<ProcessEntry> strays;  // sandbox programs still running after the launcher ended (now killed)

    const StubActivity& at(StubDir dir) const { return stubs[static_cast<std::size_t>(dir)]; }
    std::vector<LogRecord> logRecords() const { return splitLogRecords(log); }
    bool probeRan() const;
    std::vector<JavawRun> allJavawRuns() const;
};

class Sandbox {
public:
    explicit Sandbox(SandboxOptions options = {});
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::wstring& root() const { return root_.path(); }
    const std::wstring& installDir() const { return installDir_; }
    const std::wstring& profileDir() const { return profileDir_; }
    std::wstring logDir() const;  // <profile>\.sorvane\logs\launcher
    std::wstring launcherPath() const;
    std::wstring dir(StubDir dir) const;

    // Replaces the stubs and scripts in dir (removing those not asked for).
    void setStubs(StubDir dir, const StubSetup& setup);

    std::wstring commandLineFor(const RunOptions& options) const;
    std::vector<std::wstring> environmentFor(const RunOptions& options) const;

    // Runs and gathers; stub records are cleared first, so they belong to this run alone.
    // Log files are left alone, so a second run sees the first one's records too.
    LaunchResult run(const RunOptions& options = {});

private:
    SandboxOptions options_;
    ScratchDir root_;
    std::wstring installDir_;
    std::wstring profileDir_;
};

// Base fixture: the sandbox lives for one test.
class LauncherTest : public ::testing::Test {
protected:
    Sandbox& layOut(SandboxOptions options = {});
    void TearDown() override;

private:
    std::unique_ptr<Sandbox> sandbox_;
};

}  // namespace sorvane::e2e
