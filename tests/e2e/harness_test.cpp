// Tests of the end-to-end harness itself: the stubs, the message-box helper and the sandbox.
// The launcher's own behaviour is tested elsewhere, with this harness.
#include "tests/e2e/harness/launcher_fixture.h"

#include <gtest/gtest-spi.h>

#include <string>
#include <vector>

using namespace sorvane::e2e;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

const std::string kVersionText = "java version \"1.8.0_281\"\r\n";

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::vector<std::wstring> probesIn(const std::wstring& dir) { return readStubActivity(dir).probes; }

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
    const std::wstring commandLine = quoted(exe) + L" -version";

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
    EXPECT_EQ(probesIn(dir.path()), std::vector{commandLine});
    EXPECT_TRUE(processesUnder(dir.path()).empty()) << "a stub outlived its run";
}

const std::string kOddBytes = "\0\"quoted\"\0\x01\x7f\x80\xff\r\n\\\0"s;

INSTANTIATE_TEST_SUITE_P(
    Behaviours, JavaStub,
    ::testing::Values(
        JavaCase{.name = "OneWrite", .script = StubScript().out(kVersionText), .out = kVersionText},
        JavaCase{.name = "OneWriteToStderr", .script = StubScript().err(kVersionText), .err = kVersionText},
        JavaCase{.name = "TwoWritesWithPause",
                 .script = StubScript().out("java version ").sleep(400).out("\"1.8.0_281\"\r\n"),
                 .out = kVersionText,
                 .minGap = 300ms},
        JavaCase{.name = "ZeroBytesAndQuotes",
                 .script = StubScript().out(kOddBytes).err(kOddBytes + "!"),
                 .out = kOddBytes,
                 .err = kOddBytes + "!"},
        JavaCase{.name = "BothStreamsOnOnePipeInOrder",
                 .script = StubScript().out("a").err("b").out("c"),
                 .out = "abc",
                 .mergeStderr = true},
        JavaCase{.name = "NoScriptExitsSilently"},
        JavaCase{.name = "CommentOnlyScriptExitsSilently", .script = "# nothing\r\n\r\n"},
        JavaCase{.name = "ExitCode",
                 .script = StubScript().out("x").exit(0xC0000005).out("never"),
                 .out = "x",
                 .exitCode = 0xC0000005},
        JavaCase{.name = "WritesThenHangsUntilKilled",
                 .script = StubScript().out("partial").hang(),
                 .out = "partial",
                 .hangs = true},
        JavaCase{.name = "UnreadableScript", .script = "out 6a6\n", .exitCode = stub::kBadScriptExitCode}));

TEST(JavaStubFiles, UseTheStubsOwnFolderNotTheCurrentDirectory) {
    ScratchDir own;
    ScratchDir cwd;
    placeJavaStub(own.path(), StubScript().out("own"));
    writeFile(joinPath(cwd.path(), stub::kJavaScriptFile), StubScript().out("cwd").text());
    const std::wstring exe = joinPath(own.path(), L"java.exe");

    const ProcessRun run = runProcess({.application = exe, .commandLine = L"java", .currentDirectory = cwd.path()});

    EXPECT_EQ(run.out, "own");
    EXPECT_EQ(probesIn(own.path()), std::vector<std::wstring>{L"java"});
    EXPECT_FALSE(exists(joinPath(cwd.path(), stub::kJavaRanFile)));
}

TEST(JavaStubFiles, AppendOneLinePerRunWithTheRawCommandLine) {
    ScratchDir dir;
    placeJavaStub(dir.path());
    const std::wstring exe = joinPath(dir.path(), L"java.exe");
    const std::vector<std::wstring> lines{L"java  -version", L"\"java.exe \" \"Zażółć Ελληνικά\" \\\"q\\\" \"\""};

    for (const std::wstring& line : lines) runProcess({.application = exe, .commandLine = line});

    EXPECT_EQ(probesIn(dir.path()), lines);
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
                                L"javaw.exe ",
                                LR"(-Djavax.net.ssl.trustStore=C:\Apps\Tool\security\cacerts)",
                                LR"(-DSorvaneInstallPath=C:\Apps\Tool\)",
                                L"-jar",
                                LR"(C:\Apps\Tool\getdown-launcher-1.8.6.jar)",
                                L"Zażółć Ελληνικά",
                                L"",
                                L"tail\"q",
                            }));
    EXPECT_EQ(runs[0].processId, run.processId);
    EXPECT_EQ(runs[0].parentProcessId, GetCurrentProcessId());
    EXPECT_TRUE(runs[0].finished);
}

TEST(JavawStub, WaitsAndExitsAsScriptedAndRecordsWhen) {
    ScratchDir dir;
    placeJavawStub(dir.path(), StubScript().sleep(300).exit(7));
    const std::wstring exe = joinPath(dir.path(), L"javaw.exe");

    const ProcessRun run = runProcess({.application = exe, .commandLine = L"javaw"});

    EXPECT_EQ(run.exitCode, 7u);
    EXPECT_GE(run.elapsed, 300ms);
    const std::vector<JavawRun> runs = readStubActivity(dir.path()).javawRuns;
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].exitCode, 7u);
    // FILETIME counts 100 ns; both sides read the same system clock.
    EXPECT_GE(runs[0].ended - runs[0].started, 300u * 10000u);
    EXPECT_LE(run.created, runs[0].started);
    EXPECT_LE(runs[0].ended, run.exited);
}

TEST(JavawStub, AppendsARecordPerRunAndLeavesAKilledOneOpen) {
    ScratchDir dir;
    placeJavawStub(dir.path(), StubScript().exit(1));
    const std::wstring exe = joinPath(dir.path(), L"javaw.exe");

    runProcess({.application = exe, .commandLine = L"javaw first"});
    writeFile(joinPath(dir.path(), stub::kJavawScriptFile), StubScript().hang().text());
    const ProcessRun killed = runProcess({.application = exe, .commandLine = L"javaw second", .timeoutMs = 700});

    ASSERT_TRUE(killed.timedOut);
    const std::vector<JavawRun> runs = readStubActivity(dir.path()).javawRuns;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].argv, (std::vector<std::wstring>{L"javaw", L"first"}));
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].exitCode, 1u);
    EXPECT_EQ(runs[1].argv, (std::vector<std::wstring>{L"javaw", L"second"}));
    EXPECT_FALSE(runs[1].finished);
}

// Windows gives a console child a console and a GUI child none; a stub built as the wrong kind would
// let a launcher test pass or fail for the wrong reason.
TEST(StubBuild, SubsystemsMatchTheProgramsTheyStandFor) {
    const struct {
        std::wstring path;
        WORD subsystem;
    } cases[] = {
        {javaStubPath(), IMAGE_SUBSYSTEM_WINDOWS_CUI},
        {javawStubPath(), IMAGE_SUBSYSTEM_WINDOWS_GUI},
        {showBoxPath(), IMAGE_SUBSYSTEM_WINDOWS_GUI},
    };
    for (const auto& c : cases) {
        const auto image = readFile(c.path);
        ASSERT_TRUE(image) << narrow(c.path);
        ASSERT_GT(image->size(), 0x40u);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image->data());
        ASSERT_LT(static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64), image->size());
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image->data() + dos->e_lfanew);
        EXPECT_EQ(nt->OptionalHeader.Subsystem, c.subsystem) << narrow(c.path);
    }
}

// ---- message boxes ----

TEST(MessageBoxHelper, ReadsAndDismissesABoxOfAGivenProcess) {
    const std::wstring caption = L"Running java version:";
    const std::wstring text = L"Zażółć gęślą jaźń. Ελληνικά.";
    std::optional<std::wstring> seen;

    const ProcessRun run = runProcess({
        .application = showBoxPath(),
        .commandLine = quoteArgument(showBoxPath()) + L" " + quoteArgument(caption) + L" " + quoteArgument(text),
        .timeoutMs = 20000,
        .whileWaiting =
            [&](DWORD pid) {
                if (!seen) seen = dismissMessageBox(caption, 0, pid);
            },
    });

    if (run.exitCode == stub::kShowBoxNoDisplayExitCode)
        GTEST_SKIP() << "MessageBoxW failed at once: no display (run under Xvfb)";
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u) << "the box was not closed with OK";
    EXPECT_EQ(seen, text);
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
                               L"Zażółć Ελληνικά\\jre\\bin\\javaw.exe", L"Zażółć Ελληνικά\\java.exe", L"java\\java.exe",
                               L"java\\javaw.exe", L"cwd\\java.exe", L"Ελληνικά user"},
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

struct EnvironmentCase {
    const char* name;
    RunOptions options;
    bool javaDirOnPath;  // expected PATH: [java dir;]system32;windows, unless path says otherwise
    std::optional<std::wstring> path;
    bool userProfile;
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> expected;
};

void PrintTo(const EnvironmentCase& c, std::ostream* os) { *os << c.name; }

class SandboxEnvironment : public ::testing::TestWithParam<EnvironmentCase> {};

TEST_P(SandboxEnvironment, IsTheHarnessEnvironmentWithTheRunsChanges) {
    const EnvironmentCase& c = GetParam();
    Sandbox sandbox;
    const std::vector<std::wstring> env = sandbox.environmentFor(c.options);

    wchar_t system[MAX_PATH];
    wchar_t windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring systemPath = std::wstring(system) + L";" + windows;
    const std::wstring path =
        c.path.value_or(c.javaDirOnPath ? sandbox.dir(StubDir::Java) + L";" + systemPath : systemPath);
    EXPECT_EQ(findVariable(env, L"PATH"), path);
    EXPECT_EQ(findVariable(env, L"USERPROFILE"), c.userProfile ? std::optional(sandbox.profileDir()) : std::nullopt);
    for (const auto& [name, value] : c.expected) EXPECT_EQ(findVariable(env, name), value) << narrow(name);
    EXPECT_EQ(findVariable(env, L"SystemRoot"), environmentVariable(L"SystemRoot"));

    for (const wchar_t* name : {L"PATH", L"USERPROFILE"}) {
        const auto count = std::count_if(
            env.begin(), env.end(), [&](const std::wstring& e) { return istartsWith(e, std::wstring(name) + L"="); });
        EXPECT_LE(count, 1) << narrow(name) << " set twice";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, SandboxEnvironment,
    ::testing::Values(
        EnvironmentCase{.name = "Default", .options = {}, .javaDirOnPath = true, .userProfile = true},
        EnvironmentCase{
            .name = "JavaNotOnPath", .options = {.javaDirOnPath = false}, .javaDirOnPath = false, .userProfile = true},
        EnvironmentCase{
            .name = "NoUserProfile", .options = {.setUserProfile = false}, .javaDirOnPath = true, .userProfile = false},
        EnvironmentCase{
            .name = "ExtrasSetReplaceAndRemove",
            .options = {.env = {{L"SORVANE_E2E_EXTRA", L"Zażółć"}, {L"Path", L"C:\\only"}, {L"TEMP", std::nullopt}}},
            .javaDirOnPath = true,
            .path = L"C:\\only",
            .userProfile = true,
            .expected = {{L"SORVANE_E2E_EXTRA", L"Zażółć"}, {L"TEMP", std::nullopt}}}));

// cmd.exe shows what the child really got: the environment block, the current directory, stdout.
TEST(SandboxRun, ChildGetsTheEnvironmentAndCurrentDirectory) {
    Sandbox sandbox;
    const std::wstring cmd = systemCmd();

    const LaunchResult r =
        sandbox.run({.commandLine = quoted(cmd) + L" /c echo %USERPROFILE%^|%PATH%^|%SORVANE_E2E%^|&cd",
                     .program = cmd,
                     .env = {{L"SORVANE_E2E", L"extra"}},
                     .timeoutMs = 20000});

    const std::string expected = narrow(sandbox.profileDir()) + "|" +
                                 narrow(findVariable(sandbox.environmentFor({}), L"PATH").value()) + "|extra|\r\n" +
                                 narrow(sandbox.dir(StubDir::Cwd)) + "\r\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0u);
}

TEST(SandboxRun, PressesOkOnTheProgramsMessageBoxesAndReportsThem) {
    Sandbox sandbox;
    const LaunchResult r = sandbox.run(
        {.args = L"\"Running java version:\" \"Please install JRE.\"", .program = showBoxPath(), .timeoutMs = 20000});
    if (r.exitCode == stub::kShowBoxNoDisplayExitCode)
        GTEST_SKIP() << "MessageBoxW failed at once: no display (run under Xvfb)";
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, L"Running java version:");
    EXPECT_EQ(r.boxes[0].text, L"Please install JRE.");
}

TEST(SandboxRun, TimeOutKillsTheProgramAndFailsTheTest) {
    Sandbox sandbox({.stubs = {{StubDir::Java, {.java = true, .javaScript = StubScript().hang()}}}});
    LaunchResult r;

    EXPECT_NONFATAL_FAILURE(
        r = sandbox.run({.program = joinPath(sandbox.dir(StubDir::Java), L"java.exe"), .timeoutMs = 700}),
        "did not end within 700 ms");

    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, kKilledExitCode);
    EXPECT_EQ(r.at(StubDir::Java).probes.size(), 1u);
    EXPECT_TRUE(processesUnder(sandbox.root()).empty());
}

TEST(SandboxRun, ReportsAndKillsStubsLeftRunning) {
    Sandbox sandbox({.stubs = {{StubDir::Java, {.java = true, .javaScript = StubScript().hang()}}}});
    const std::wstring java = joinPath(sandbox.dir(StubDir::Java), L"java.exe");
    const std::wstring cmd = systemCmd();

    // cmd starts the hanging stub and ends without waiting for it, as a faulty launcher might.
    const LaunchResult r = sandbox.run({.commandLine = quoted(cmd) + L" /c start \"\" " + quoted(java),
                                        .program = cmd,
                                        .timeoutMs = 20000,
                                        .straysGraceMs = 300});

    ASSERT_EQ(r.strays.size(), 1u);
    EXPECT_TRUE(iequals(r.strays[0].imagePath, java)) << narrow(r.strays[0].imagePath);
    EXPECT_EQ(r.at(StubDir::Java).probes.size(), 1u);
    EXPECT_TRUE(processesUnder(sandbox.root()).empty());
}

TEST(ProcessHelpers, FindAndKillARunningJavaByImageName) {
    ScratchDir dir;
    placeJavaStub(dir.path(), StubScript().hang());
    const std::wstring exe = joinPath(dir.path(), L"java.exe");
    std::vector<ProcessEntry> found;

    const ProcessRun run = runProcess(
        {.application = exe, .commandLine = L"java -version", .timeoutMs = 20000, .whileWaiting = [&](DWORD pid) {
             for (const ProcessEntry& p : processesNamed(L"java.exe"))
                 if (p.processId == pid) found.push_back(p);
             killProcesses(found);
         }});

    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(iequals(found[0].imagePath, exe)) << narrow(found[0].imagePath);
    EXPECT_EQ(found[0].parentProcessId, GetCurrentProcessId());
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, kKilledExitCode);
}

// ---- log records ----

struct LogCase {
    const char* name;
    std::string bytes;
    std::vector<LogRecord> records;  // raw, timestamp, message, wellFormed, terminated
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LogSplit : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogSplit, SplitsAtCarriageReturnsAndChecksTheShape) {
    const LogCase& c = GetParam();
    const std::vector<LogRecord> records = splitLogRecords(c.bytes);
    ASSERT_EQ(records.size(), c.records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(records[i].raw, c.records[i].raw);
        EXPECT_EQ(records[i].timestamp, c.records[i].timestamp);
        EXPECT_EQ(records[i].message, c.records[i].message);
        EXPECT_EQ(records[i].wellFormed, c.records[i].wellFormed);
        EXPECT_EQ(records[i].terminated, c.records[i].terminated);
    }
}

const std::string kStamp = "2024-03-05 17:08:09";

INSTANTIATE_TEST_SUITE_P(
    Shapes, LogSplit,
    ::testing::Values(
        LogCase{"Empty", "", {}},
        LogCase{
            "Two",
            kStamp + "    Started\r" + kStamp + "    Running java version: 1.8.0_281\r",
            {{kStamp + "    Started", kStamp, "Started", true, true},
             {kStamp + "    Running java version: 1.8.0_281", kStamp, "Running java version: 1.8.0_281", true, true}}},
        LogCase{"EmptyMessageAndExtraSpaceKept",
                kStamp + "    \r" + kStamp + "     x\r",
                {{kStamp + "    ", kStamp, "", true, true}, {kStamp + "     x", kStamp, " x", true, true}}},
        LogCase{"LastNotTerminated",
                kStamp + "    a\r" + kStamp + "    b",
                {{kStamp + "    a", kStamp, "a", true, true}, {kStamp + "    b", kStamp, "b", true, false}}},
        LogCase{"LineFeedIsNoTerminator",
                kStamp + "    a\r\n",
                {{kStamp + "    a", kStamp, "a", true, true}, {"\n", "", "", false, false}}},
        LogCase{"ThreeSpaces", kStamp + "   a\r", {{kStamp + "   a", "", "", false, true}}},
        LogCase{"MonthOutOfRange", "2024-13-05 17:08:09    a\r", {{"2024-13-05 17:08:09    a", "", "", false, true}}},
        LogCase{
            "TwelveHourClock", "2024-03-05 5:08:09 PM    a\r", {{"2024-03-05 5:08:09 PM    a", "", "", false, true}}}));

// ---- the real launcher, once ----

class LauncherSmoke : public LauncherTest {};

TEST_F(LauncherSmoke, EndsWithinTheTimeOutWithoutArguments) {
    if (!exists(builtLauncherPath())) GTEST_SKIP() << "launcher.exe is not built";
    const LaunchResult r = layOut().run({.timeoutMs = 30000});
    EXPECT_FALSE(r.timedOut);
}

}  // namespace
