// Tests of the end-to-end harness itself: the stubs, the message-box handling and the sandbox.
// The launcher's own behaviour is tested elsewhere, with this harness.
#include "tests/e2e/harness/launcher_fixture.h"

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace sorvane::e2e;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

const std::string kVersionText = "java version \"1.8.0_281\"\r\n";

std::wstring systemCmd() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return joinPath(system, L"cmd.exe");
}

// ---- java.exe stub ----

struct JavaCase {
    const char* name;
    std::string script;  // empty: no script file at all
    std::string out;
    std::string err;
    DWORD exitCode = 0;
    bool mergeStderr = false;
    bool hangs = false;
    std::chrono::milliseconds minGap{0};  // between the first and the last stdout chunk
};

// ctest names each case after what this prints.
void PrintTo(const JavaCase& c, std::ostream* os) { *os << c.name; }

class JavaStub : public ::testing::TestWithParam<JavaCase> {};

TEST_P(JavaStub, PlaysItsScriptAndRecordsTheRun) {
    const JavaCase& c = GetParam();
    ScratchDir dir;
    placeJavaStub(dir.path(), c.script);
    const std::wstring exe = joinPath(dir.path(), L"java.exe");
    const std::wstring commandLine = quoteArgument(exe) + L" -version";

    const ProcessRun run = runProcess({.application = exe,
                                       .commandLine = commandLine,
                                       .timeoutMs = c.hangs ? 800u : 20000u,
                                       .mergeStderr = c.mergeStderr});

    EXPECT_EQ(run.timedOut, c.hangs);
    EXPECT_EQ(run.exitCode, c.hangs ? kKilledExitCode : c.exitCode);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    if (c.minGap.count() > 0) {
        ASSERT_GE(run.outChunks.size(), 2u);
        EXPECT_GE(run.outChunks.back().at - run.outChunks.front().at, c.minGap);
    }
    EXPECT_EQ(readStubActivity(dir.path()).probes, std::vector{commandLine});
    EXPECT_TRUE(processesUnder(dir.path()).empty()) << "a stub outlived its run";
}

const std::string kOddBytes = "\0\"quoted\"\0\x01\x7f\x80\xff\r\n\\\0"s;

INSTANTIATE_TEST_SUITE_P(
    Behaviours, JavaStub,
    ::testing::Values(
        JavaCase{.name = "OneWrite", .script = StubScript().out(kVersionText), .out = kVersionText},
        JavaCase{.name = "TwoWritesWithPause",
                 .script = StubScript().out("java version ").sleep(400).out("\"1.8.0_281\"\r\n"),
                 .out = kVersionText, .minGap = 300ms},
        JavaCase{.name = "ZeroBytesAndQuotes", .script = StubScript().out(kOddBytes).err(kOddBytes + "!"),
                 .out = kOddBytes, .err = kOddBytes + "!"},
        JavaCase{.name = "BothStreamsOnOnePipeInOrder", .script = StubScript().out("a").err("b").out("c"),
                 .out = "abc", .mergeStderr = true},
        JavaCase{.name = "NoScriptExitsSilently"},
        JavaCase{.name = "ExitCode", .script = StubScript().out("x").exit(0xC0000005).out("never"),
                 .out = "x", .exitCode = 0xC0000005},
        JavaCase{.name = "WritesThenHangsUntilKilled", .script = StubScript().out("partial").hang(),
                 .out = "partial", .hangs = true},
        // A typo in a script must not pass for a stub that does nothing.
        JavaCase{.name = "UnreadableScript", .script = "out 6a6\n", .exitCode = stub::kBadScriptExitCode}));

// The launcher runs java.exe from folders other than its current one, with command lines of its making.
TEST(JavaStubFiles, UseTheStubsOwnFolderAndAppendEachRawCommandLine) {
    ScratchDir own;
    ScratchDir cwd;
    placeJavaStub(own.path(), StubScript().out("own"));
    writeFile(joinPath(cwd.path(), stub::kJavaScriptFile), StubScript().out("cwd").text());
    const std::wstring exe = joinPath(own.path(), L"java.exe");
    const std::vector<std::wstring> lines{L"java  -version", L"\"java.exe \" \"Zażółć Ελληνικά\" \\\"q\\\" \"\""};

    for (const std::wstring& line : lines)
        EXPECT_EQ(runProcess({.application = exe, .commandLine = line, .currentDirectory = cwd.path()}).out, "own");

    EXPECT_EQ(readStubActivity(own.path()).probes, lines);
    EXPECT_FALSE(exists(joinPath(cwd.path(), stub::kJavaRanFile)));
}

// ---- javaw.exe stub ----

TEST(JavawStub, RecordsItsPathRawCommandLineAndArguments) {
    ScratchDir scratch;
    const std::wstring dir = joinPath(scratch.path(), L"Zażółć Ελληνικά");
    placeJavawStub(dir);
    const std::wstring exe = joinPath(dir, L"javaw.exe");
    const std::wstring commandLine =
        LR"("javaw.exe " -Djavax.net.ssl.trustStore="C:\Apps\Tool\security\cacerts" )"
        LR"(-DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" )"
        LR"("Zażółć Ελληνικά" "" tail\"q)";

    const ProcessRun run = runProcess({.application = exe, .commandLine = commandLine});

    const std::vector<JavawRun> runs = readStubActivity(dir).javawRuns;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].modulePath, exe);
    EXPECT_EQ(runs[0].commandLine, commandLine);
    EXPECT_EQ(runs[0].argv, (std::vector<std::wstring>{
                                L"javaw.exe ", LR"(-Djavax.net.ssl.trustStore=C:\Apps\Tool\security\cacerts)",
                                LR"(-DSorvaneInstallPath=C:\Apps\Tool\)", L"-jar",
                                LR"(C:\Apps\Tool\getdown-launcher-1.8.6.jar)", L"Zażółć Ελληνικά", L"", L"tail\"q"}));
    EXPECT_EQ(runs[0].processId, run.processId);
    EXPECT_EQ(runs[0].parentProcessId, GetCurrentProcessId());
    EXPECT_TRUE(runs[0].finished);
}

TEST(JavawStub, WaitsExitsAsScriptedAndLeavesAKilledRunOpen) {
    ScratchDir dir;
    placeJavawStub(dir.path(), StubScript().sleep(300).exit(7));
    const std::wstring exe = joinPath(dir.path(), L"javaw.exe");

    const ProcessRun run = runProcess({.application = exe, .commandLine = L"javaw first"});
    writeFile(joinPath(dir.path(), stub::kJavawScriptFile), StubScript().hang().text());
    const ProcessRun killed = runProcess({.application = exe, .commandLine = L"javaw second", .timeoutMs = 700});

    EXPECT_EQ(run.exitCode, 7u);
    EXPECT_GE(run.elapsed, 300ms);
    ASSERT_TRUE(killed.timedOut);
    const std::vector<JavawRun> runs = readStubActivity(dir.path()).javawRuns;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].argv, (std::vector<std::wstring>{L"javaw", L"first"}));
    ASSERT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].exitCode, 7u);
    // FILETIME counts 100 ns; both sides read the same system clock.
    EXPECT_GE(runs[0].ended - runs[0].started, 300u * 10000u);
    // On Windows the stub's GetSystemTimeAsFileTime advances only once a clock tick (15.625 ms by
    // default) while the kernel stamps the creation time more finely, so the stub's reading may trail
    // the creation time by up to one tick. Under Wine both come from one host clock.
    constexpr std::uint64_t kClockTick = 156250;
    EXPECT_LE(run.created, runs[0].started + kClockTick);
    EXPECT_LE(runs[0].ended, run.exited);
    EXPECT_EQ(runs[1].argv, (std::vector<std::wstring>{L"javaw", L"second"}));
    EXPECT_FALSE(runs[1].finished);
}

// Windows gives a console child a console and a GUI child none; a stub built as the wrong kind would
// let a launcher test pass or fail for the wrong reason.
TEST(StubBuild, SubsystemsMatchTheProgramsTheyStandFor) {
    const std::pair<std::wstring, WORD> cases[] = {
        {javaStubPath(), IMAGE_SUBSYSTEM_WINDOWS_CUI},
        {javawStubPath(), IMAGE_SUBSYSTEM_WINDOWS_GUI},
        {showBoxPath(), IMAGE_SUBSYSTEM_WINDOWS_GUI},
    };
    for (const auto& [path, subsystem] : cases) {
        const std::string image = readFile(path).value_or("");
        ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER)) << narrow(path);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
        ASSERT_LT(static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64), image.size());
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
        EXPECT_EQ(nt->OptionalHeader.Subsystem, subsystem) << narrow(path);
    }
}

// ---- the sandbox ----

struct LayoutCase {
    const char* name;
    SandboxOptions options;
    std::vector<std::wstring> present;  // relative to the sandbox root
    std::vector<std::wstring> absent;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class SandboxLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SandboxLayout, HoldsWhatWasAskedForAndNothingElse) {
    const LayoutCase& c = GetParam();
    std::wstring root;
    {
        Sandbox sandbox(c.options);
        root = sandbox.root();
        for (const std::wstring& file : c.present) EXPECT_TRUE(exists(joinPath(root, file))) << narrow(file);
        for (const std::wstring& file : c.absent) EXPECT_FALSE(exists(joinPath(root, file))) << narrow(file);
        EXPECT_EQ(readFile(sandbox.launcherPath())->size(), readFile(builtLauncherPath())->size());
        EXPECT_TRUE(isDirectory(sandbox.profileDir()));
        EXPECT_FALSE(exists(sandbox.logDir()));
        for (const auto& [where, setup] : c.options.stubs) {
            EXPECT_EQ(readFile(joinPath(sandbox.dir(where), stub::kJavaScriptFile)).value_or(""), setup.javaScript)
                << toString(where);
            EXPECT_EQ(readFile(joinPath(sandbox.dir(where), stub::kJavawScriptFile)).value_or(""), setup.javawScript)
                << toString(where);
        }
    }
    if (!environmentVariable(L"SORVANE_KEEP_TEMP")) {
        EXPECT_FALSE(exists(root)) << "not cleaned up";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, SandboxLayout,
    ::testing::Values(
        LayoutCase{.name = "Bare",
                   .options = {},
                   .present = {L"Tool\\launcher.exe", L"Tool\\getdown-launcher-1.8.6.jar", L"java", L"cwd"},
                   .absent = {L"Tool\\jre", L"Tool\\security", L"java\\java.exe", L"java\\javaw.exe", L"cwd\\java.exe",
                              L"Tool\\java.exe"}},
        LayoutCase{.name = "Everything",
                   .options = {.installName = L"Zażółć Ελληνικά",
                               .profileName = L"Ελληνικά user",
                               .cacerts = true,
                               .stubs = {{StubDir::Jre, {.javaw = true, .javawScript = "exit 3\n"}},
                                         {StubDir::Java, {.java = true, .javaw = true, .javaScript = "exit 1\n"}},
                                         {StubDir::Cwd, {.java = true, .javaScript = "exit 2\n"}},
                                         {StubDir::Install, {.java = true}}}},
                   .present = {L"Zażółć Ελληνικά\\launcher.exe", L"Zażółć Ελληνικά\\security\\cacerts",
                               L"Zażółć Ελληνικά\\jre\\bin\\javaw.exe", L"Zażółć Ελληνικά\\java.exe",
                               L"java\\java.exe", L"java\\javaw.exe", L"cwd\\java.exe", L"Ελληνικά user"},
                   .absent = {L"Zażółć Ελληνικά\\jre\\bin\\java.exe", L"cwd\\javaw.exe", L"Zażółć Ελληνικά\\javaw.exe",
                              L"Zażółć Ελληνικά\\java-stub.txt"}},
        LayoutCase{.name = "NoJarOtherNames",
                   .options = {.installName = L"Apps\\My Tool",
                               .launcherName = L"Sorvane Launcher.exe",
                               .javaDirName = L"Program Files\\Java\\bin",
                               .jar = false},
                   .present = {L"Apps\\My Tool\\Sorvane Launcher.exe", L"Program Files\\Java\\bin"},
                   .absent = {L"Apps\\My Tool\\launcher.exe", L"Apps\\My Tool\\getdown-launcher-1.8.6.jar"}}));

TEST(SandboxProfile, VeryLongNonAnsiProfileIsCreatedAndUsable) {
    // Wine's host path, in UTF-8 bytes, must stay under Linux's 4096: mostly ASCII, then.
    Sandbox sandbox({.profileName = nestedName(L"Zażółć-Ελλ-long-profile-", 3000)});

    EXPECT_GT(sandbox.profileDir().size(), 3000u);
    ASSERT_TRUE(isDirectory(sandbox.profileDir()));
    const std::wstring log = joinPath(sandbox.logDir(), todayLogName());
    writeFile(log, "x");
    EXPECT_EQ(readFile(log), "x");
    EXPECT_EQ(findVariable(sandbox.environmentFor({}), L"USERPROFILE"), sandbox.profileDir());
}

// Expected PATH: [java dir;]system32;windows, unless the run replaces it.
TEST(SandboxEnvironment, IsTheHarnessEnvironmentWithTheRunsChanges) {
    const RunOptions cases[] = {
        {},
        {.javaDirOnPath = false},
        {.setUserProfile = false},
        {.env = {{L"SORVANE_E2E_EXTRA", L"Zażółć"}, {L"Path", L"C:\\only"}, {L"TEMP", std::nullopt}}},
    };
    Sandbox sandbox;
    wchar_t system[MAX_PATH], windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring systemPath = std::wstring(system) + L";" + windows;

    for (const RunOptions& options : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&options - cases));
        const std::vector<std::wstring> env = sandbox.environmentFor(options);
        std::wstring path = options.javaDirOnPath ? sandbox.dir(StubDir::Java) + L";" + systemPath : systemPath;
        for (const auto& [name, value] : options.env) {
            EXPECT_EQ(findVariable(env, name), value) << narrow(name);
            if (iequals(name, L"PATH")) path = *value;
        }
        EXPECT_EQ(findVariable(env, L"PATH"), path);
        EXPECT_EQ(findVariable(env, L"USERPROFILE"),
                  options.setUserProfile ? std::optional(sandbox.profileDir()) : std::nullopt);
        EXPECT_EQ(findVariable(env, L"SystemRoot"), environmentVariable(L"SystemRoot"));
        for (const wchar_t* name : {L"PATH=", L"USERPROFILE="})
            EXPECT_LE(std::ranges::count_if(env, [&](const std::wstring& e) { return istartsWith(e, name); }), 1)
                << narrow(name) << " set twice";
    }
}

// cmd.exe shows what the child really got: the environment block, the current directory, stdout.
TEST(SandboxRun, ChildGetsTheEnvironmentAndCurrentDirectory) {
    Sandbox sandbox;
    const std::wstring cmd = systemCmd();

    const LaunchResult r =
        sandbox.run({.commandLine = quoteArgument(cmd) + L" /c echo %USERPROFILE%^|%PATH%^|%SORVANE_E2E%^|&cd",
                     .program = cmd,
                     .env = {{L"SORVANE_E2E", L"extra"}},
                     .timeoutMs = 20000});

    const std::string expected = narrow(sandbox.profileDir()) + "|" +
                                 narrow(findVariable(sandbox.environmentFor({}), L"PATH").value()) + "|extra|\r\n" +
                                 narrow(sandbox.dir(StubDir::Cwd)) + "\r\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0u);
}

// The box is found by process, read (caption and text, beyond ANSI) and dismissed with OK.
TEST(SandboxRun, PressesOkOnTheProgramsMessageBoxesAndReportsThem) {
    if (const auto why = whyNoInteractiveDesktop()) GTEST_SKIP() << *why;
    Sandbox sandbox;
    const LaunchResult r = sandbox.run({.args = L"\"Running java version:\" \"Zażółć gęślą jaźń. Ελληνικά.\"",
                                        .program = showBoxPath(),
                                        .timeoutMs = 20000});
    if (r.exitCode == stub::kShowBoxNoDisplayExitCode)
        GTEST_SKIP() << "MessageBoxW failed at once: no display (run under Xvfb)";
    EXPECT_EQ(r.exitCode, 0u) << "the box was not closed with OK";
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, L"Running java version:");
    EXPECT_EQ(r.boxes[0].text, L"Zażółć gęślą jaźń. Ελληνικά.");
}

// A window station of our own is not interactive, as a service's is not: the box tests skip there.
TEST(MessageBoxHelper, TellsAWindowStationWithoutADesktop) {
    const HWINSTA station = CreateWindowStationW(L"SorvaneHarnessNoDesktop", 0, WINSTA_READATTRIBUTES, nullptr);
    ASSERT_NE(station, nullptr) << "CreateWindowStationW failed, error " << GetLastError();
    const std::optional<std::string> why = whyNoInteractiveDesktop(station);
    CloseWindowStation(station);
    ASSERT_TRUE(why.has_value());
    EXPECT_NE(why->find("no interactive desktop"), std::string::npos) << *why;
}

// A program that hangs is killed and fails the test; stubs that one leaves running are reported and killed.
TEST(SandboxRun, KillsWhatOutlivesTheRunAndReportsIt) {
    Sandbox sandbox({.stubs = {{StubDir::Java, {.java = true, .javaScript = StubScript().hang()}}}});
    const std::wstring java = joinPath(sandbox.dir(StubDir::Java), L"java.exe");
    const std::wstring cmd = systemCmd();
    LaunchResult r;

    EXPECT_NONFATAL_FAILURE(r = sandbox.run({.program = java, .timeoutMs = 700}), "did not end within 700 ms");
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, kKilledExitCode);
    EXPECT_EQ(r.at(StubDir::Java).probes.size(), 1u);
    EXPECT_TRUE(processesUnder(sandbox.root()).empty());

    // cmd starts the hanging stub and ends without waiting for it, as a faulty launcher might.
    r = sandbox.run({.commandLine = quoteArgument(cmd) + L" /c start \"\" " + quoteArgument(java),
                     .program = cmd,
                     .timeoutMs = 20000,
                     .straysGraceMs = 300});
    ASSERT_EQ(r.strays.size(), 1u);
    EXPECT_TRUE(iequals(r.strays[0].imagePath, java)) << narrow(r.strays[0].imagePath);
    EXPECT_EQ(r.at(StubDir::Java).probes.size(), 1u);
    EXPECT_TRUE(processesUnder(sandbox.root()).empty());

    // A stub's id, listed before it ended, may since have gone to a test running beside this one
    // (here: this very program), which must be neither waited for nor killed.
    const std::vector<ProcessEntry> reused{{.processId = GetCurrentProcessId(), .imagePath = java}};
    EXPECT_TRUE(stillRunning(reused, 0).empty());
    killProcesses(reused, 0);
}

// ---- log records ----

// The launcher's handle owner, which the harness uses too.
TEST(HandleOwner, KeepsOnlyValidHandlesAndNeverClosesTheOneItKeeps) {
    EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE));
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    event.reset(event.get());
    EXPECT_TRUE(SetEvent(event.get())) << lastErrorMessage("SetEvent after a reset to itself");
}

TEST(LogSplit, SplitsAtCarriageReturnsAndChecksTheShape) {
    const std::string t = "2024-03-05 17:08:09";
    const struct {
        std::string bytes;
        std::vector<LogRecord> records;  // raw, timestamp, message, wellFormed, terminated
    } cases[] = {
        {"", {}},
        // An empty message and a fifth space are the message's; bytes after the last CR are a record too.
        {t + "    Started\r" + t + "    \r" + t + "     x\r" + t + "    b",
         {{t + "    Started", t, "Started", true, true},
          {t + "    ", t, "", true, true},
          {t + "     x", t, " x", true, true},
          {t + "    b", t, "b", true, false}}},
        {t + "    a\r\n", {{t + "    a", t, "a", true, true}, {"\n", "", "", false, false}}},
        {t + "   three spaces\r2024-13-05 17:08:09    a\r2024-03-05 5:08:09 PM    a\r",
         {{t + "   three spaces", "", "", false, true},
          {"2024-13-05 17:08:09    a", "", "", false, true},
          {"2024-03-05 5:08:09 PM    a", "", "", false, true}}},
    };
    for (const auto& c : cases) {
        const std::vector<LogRecord> records = splitLogRecords(c.bytes);
        ASSERT_EQ(records.size(), c.records.size()) << testing::PrintToString(c.bytes);
        for (std::size_t i = 0; i < records.size(); ++i) {
            const LogRecord &got = records[i], &want = c.records[i];
            EXPECT_EQ(std::tie(got.raw, got.timestamp, got.message, got.wellFormed, got.terminated),
                      std::tie(want.raw, want.timestamp, want.message, want.wellFormed, want.terminated))
                << testing::PrintToString(want.raw);
        }
    }
}

// ---- the real launcher, once ----

class LauncherSmoke : public LauncherTest {};

TEST_F(LauncherSmoke, EndsWithinTheTimeOutWithoutArguments) {
    if (!exists(builtLauncherPath())) GTEST_SKIP() << "launcher.exe is not built";
    const LaunchResult r = layOut().run({.timeoutMs = 30000});
    EXPECT_FALSE(r.timedOut);
}

}  // namespace
