// Tests of the end-to-end harness itself: the stubs, the message-box handling and the sandbox.
// The launcher's own behaviour is tested elsewhere, with this harness.
#include "tests/e2e/harness/launcher_fixture.h"

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace sorvane::e2e;
using namespace std::string_literals;

namespace {

std::wstring systemCmd() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return joinPath(system, L"cmd.exe");
}

// ---- java.exe stub ----

// A typo in a script must not pass for a stub that does nothing. (What the stubs do with a good
// script, every end-to-end test relies on.)
TEST(JavaStub, RefusesAnUnreadableScript) {
    ScratchDir dir;
    placeJavaStub(dir.path(), "out 6a6\n");
    const std::wstring exe = joinPath(dir.path(), L"java.exe");
    const ProcessRun run = runProcess({.application = exe, .commandLine = quoteArgument(exe) + L" -version"});
    EXPECT_EQ(run.exitCode, stub::kBadScriptExitCode);
    EXPECT_TRUE(run.out.empty() && run.err.empty());
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
