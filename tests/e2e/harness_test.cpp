// Tests of the end-to-end harness itself: the stubs, the message-box handling and the sandbox.
// The launcher's own behaviour is tested elsewhere, with this harness.
#include "tests/e2e/harness/launcher_fixture.h"

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// cmd.exe shows what the child really got: the environment block, the current directory, stdout.
TEST(SandboxRun, ChildGetsTheEnvironmentAndCurrentDirectory) {
    Sandbox sandbox;
    const std::wstring cmd = systemCmd();

    // /u: cmd writes UTF-16, so a %TEMP% named outside the code page comes through whole.
    const LaunchResult r =
        sandbox.run({.commandLine = quoteArgument(cmd) + L" /u /c echo %USERPROFILE%^|%PATH%^|%SORVANE_E2E%^|&cd",
                     .program = cmd,
                     .env = {{L"SORVANE_E2E", L"extra"}},
                     .timeoutMs = 20000});

    std::wstring out(r.out.size() / sizeof(wchar_t), L'\0');
    std::memcpy(out.data(), r.out.data(), out.size() * sizeof(wchar_t));
    const std::wstring expected = sandbox.profileDir() + L"|" +
                                  findVariable(sandbox.environmentFor({}), L"PATH").value() + L"|extra|\r\n" +
                                  sandbox.dir(StubDir::Cwd) + L"\r\n";
    EXPECT_EQ(narrow(out), narrow(expected));
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
    EXPECT_TRUE(sameFile(r.strays[0].imagePath, java)) << narrow(r.strays[0].imagePath);
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

}  // namespace
