// The launcher log end to end: where it goes, what its bytes are, and that no record is lost,
// torn or misdated whatever the profile path and however many launchers write at once.
#include "tests/e2e/harness/launcher_fixture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::e2e {
namespace {

const char kStart[] = "Starting Sorvane Launcher...";

class LauncherLog : public LauncherTest {};

// Without an argument to forward nothing but the start is done.
TEST_F(LauncherLog, StartRecordIsFiftyTwoBytesInTodaysFile)
{
    Sandbox& s = layOut({.cacerts = true,
                         .stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}},
                                   {StubDir::Jre, {.javaw = true}}}});
    LaunchResult r = s.run({.args = L""});
    EXPECT_EQ(r.exitCode, 2u);
    EXPECT_FALSE(r.probeRan());
    EXPECT_TRUE(r.allJavawRuns().empty());
    EXPECT_TRUE(r.boxes.empty());
    ASSERT_EQ(r.logFiles.size(), 1u);
    EXPECT_EQ(r.logFiles[0].name, todayLogName());
    ASSERT_EQ(r.log.size(), 52u);
    EXPECT_EQ(r.log.substr(19), std::string("    ") + kStart + "\r");
    std::vector<LogRecord> records = r.logRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].wellFormed);
    EXPECT_EQ(records[0].timestamp.substr(0, 10) + ".log", narrow(r.logFiles[0].name));
    // The file name is echoed for whoever reads the launcher's standard output.
    EXPECT_NE(r.out.find(narrow(todayLogName())), std::string::npos) << r.out;
}

std::string localTimestamp()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// Each record is stamped with the machine's local time, as Windows keeps it, and lands in the file
// of that date, whatever TZ the shell that started the launcher set: Cygwin exports a zone name,
// which the C runtime takes for UTC, and a zone far from this one would move the date.
TEST_F(LauncherLog, RecordsAreStampedWithWindowsLocalTimeWhateverTzSays)
{
    Sandbox& s = layOut({});
    const std::string before = localTimestamp();
    LaunchResult r;
    for (const wchar_t* tz : {L"Europe/Paris", L"XYZ-14", L"XYZ+12"})
        r = s.run({.args = L"", .env = {{L"TZ", tz}}});
    const std::string after = localTimestamp();
    ASSERT_EQ(r.logRecords().size(), 3u);
    for (const LogFile& file : r.logFiles) {
        for (const LogRecord& record : splitLogRecords(file.bytes)) {
            EXPECT_TRUE(record.timestamp >= before && record.timestamp <= after)
                << record.timestamp << " is not between " << before << " and " << after;
            EXPECT_EQ(record.timestamp.substr(0, 10) + ".log", narrow(file.name));
        }
    }
}

TEST_F(LauncherLog, MissingDirectoriesAreCreatedAndExistingOnesLeftAlone)
{
    Sandbox& s = layOut({});
    const std::wstring sorvane = s.profileDir() + L"\\.sorvane";
    const std::wstring logs = sorvane + L"\\logs";
    for (const std::wstring& dir : {sorvane, logs, s.logDir()})
        writeFile(dir + L"\\marker.txt", "keep me");
    writeFile(s.logDir() + L"\\" + todayLogName(), "earlier\r");
    LaunchResult r = s.run({.args = L""});
    for (const std::wstring& dir : {sorvane, logs, s.logDir()})
        EXPECT_EQ(readFile(dir + L"\\marker.txt"), std::optional<std::string>("keep me")) << narrow(dir);
    EXPECT_EQ(r.log.substr(0, 8), "earlier\r");
    EXPECT_EQ(r.log.size(), 8u + 52u);
}

TEST_F(LauncherLog, ReadOnlyLogFileLosesTheRecordButTheRunGoesOn)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}}}});
    const std::wstring log = s.logDir() + L"\\" + todayLogName();
    writeFile(log, "old\r");
    ASSERT_TRUE(SetFileAttributesW(longPath(log).c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileW(longPath(log).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesW(longPath(log).c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this machine lets a read-only file be written (Wine run as root)";
    }
    LaunchResult r = s.run({.args = L"ARG"});
    SetFileAttributesW(longPath(log).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.log, "old\r");
    EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
}

// As a scanner holds a freshly written file: no sharing, for a moment or for good. A moment costs
// no record; for good, the records are lost and the start waits for the log once, not for each.
TEST_F(LauncherLog, LogHeldWithoutSharingCostsNoRecordAndLittleTime)
{
    for (const DWORD heldMs : {400u, INFINITE}) {
        Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}}}});
        const std::wstring log = s.logDir() + L"\\" + todayLogName();
        writeFile(log, "old\r");
        UniqueHandle held(CreateFileW(longPath(log).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held) << lastErrorMessage("CreateFileW");
        const ULONGLONG start = GetTickCount64();
        LaunchResult r = s.run({.args = L"ARG", .whileRunning = [&] {
            if (GetTickCount64() - start >= heldMs) held.reset();
        }});
        held.reset();
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
        EXPECT_EQ(splitLogRecords(readFile(log).value_or("")).size(), heldMs == INFINITE ? 1u : 5u) << heldMs;
        EXPECT_LT(r.elapsed.count(), 5000) << heldMs;
    }
}

TEST_F(LauncherLog, LogFileThatCannotBeOpenedLosesTheRecordButTheRunGoesOn)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}}}});
    createDirectories(s.logDir() + L"\\" + todayLogName());
    LaunchResult r = s.run({.args = L"ARG"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
}

TEST_F(LauncherLog, ProfileOutsideTheAnsiCodePageGetsItsRecords)
{
    for (const wchar_t* name : {L"Zażółć gęślą jaźń", L"Ελληνικά", L"用户"}) {
        Sandbox& s = layOut({.profileName = name});
        LaunchResult r = s.run({.args = L""});
        ASSERT_EQ(r.logRecords().size(), 1u) << narrow(name);
        EXPECT_EQ(r.logRecords()[0].message, kStart);
    }
}

TEST_F(LauncherLog, ProfileLongerThanMaxPathGetsItsRecords)
{
    for (size_t length : {300u, 1500u}) {
        Sandbox& s = layOut({.profileName = nestedName(L"profile", length)});
        ASSERT_GT(s.profileDir().size(), length);
        LaunchResult r = s.run({.args = L""});
        EXPECT_EQ(r.exitCode, 2u);
        ASSERT_EQ(r.logRecords().size(), 1u) << length;
        EXPECT_EQ(r.log.size(), 52u);
    }
}

TEST_F(LauncherLog, ProfilePathAtThePlatformLimitNeitherCrashesNorStopsTheRun)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}}}});
    std::wstring huge = s.profileDir() + L"\\" + std::wstring(32700 - s.profileDir().size(), L'p');
    LaunchResult r = s.run({.args = L"ARG", .env = {{L"USERPROFILE", huge}}});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
}

// Run by full_disk_test.sh, which mounts a small tmpfs for the profile: the file system hands out
// whole pages, so once none is free a record lands only the bytes that fit in the log's last page.
TEST_F(LauncherLog, FullDiskLeavesNoTornRecord)
{
    const std::optional<std::wstring> disk = environmentVariable(L"SORVANE_FULL_DISK_DIR");
    if (!disk)
        GTEST_SKIP() << "SORVANE_FULL_DISK_DIR is unset: tests/e2e/full_disk_test.sh runs this case on a tmpfs it mounts";
    Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}}}});
    const std::wstring profile = joinPath(*disk, L"profile");
    const std::wstring log = joinPath(profile, L".sorvane\\logs\\launcher\\" + todayLogName());
    const std::wstring filler = joinPath(*disk, L"filler.bin");

    // One earlier record that leaves a few bytes of the file's last page free: less than any record.
    constexpr size_t kPage = 4096, kFewBytes = 10;
    const std::string earlier = "2026-12-07 09:05:03    " + std::string(kPage - kFewBytes - 24, 'x') + "\r";
    writeFile(log, earlier);
    {
        UniqueHandle fill(CreateFileW(longPath(filler).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(fill) << lastErrorMessage("CreateFileW " + narrow(filler));
        const std::string page(kPage, 'f');
        DWORD written = 0;
        while (WriteFile(fill.get(), page.data(), kPage, &written, nullptr) && written == kPage) {
        }
    }
    ULARGE_INTEGER available{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(disk->c_str(), &available, nullptr, nullptr)) << lastErrorMessage("GetDiskFreeSpaceExW");
    ASSERT_EQ(available.QuadPart, 0u) << "the file system still has free pages";

    const RunOptions onFullDisk{.args = L"ARG", .env = {{L"USERPROFILE", profile}}};
    LaunchResult r = s.run(onFullDisk);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
    std::string bytes = readFile(log).value_or("");
    ASSERT_EQ(bytes.substr(0, earlier.size()), earlier);
    EXPECT_EQ(bytes.substr(earlier.size()), "") << "a record that did not fit landed in part";

    removeFile(filler);
    r = s.run(onFullDisk);
    EXPECT_EQ(r.exitCode, 0u);
    bytes = readFile(log).value_or("");
    ASSERT_EQ(bytes.substr(0, earlier.size()), earlier);
    std::vector<std::string> messages;
    for (const LogRecord& record : splitLogRecords(bytes.substr(earlier.size()))) {
        EXPECT_TRUE(record.wellFormed && record.terminated) << record.raw;
        messages.push_back(record.message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{kStart, "System java version: 1.8.0_281",
                                                  "System JRE version >= 1.7, using system JRE",
                                                  "Sorvane Launcher started"}));
}

TEST_F(LauncherLog, FiftyLaunchersAtOnceTearNoRecordAndStartEveryChild)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")}}}});
    const RunOptions options{.args = L"ARG"};
    ProcessOptions launcher;
    launcher.application = s.launcherPath();
    launcher.commandLine = s.commandLineFor(options);
    launcher.env = s.environmentFor(options);
    launcher.currentDirectory = s.dir(StubDir::Cwd);
    launcher.creationFlags = DETACHED_PROCESS;

    // On two cores this is the load under which Wine fails a process start now and then.
    constexpr int kLaunchers = 50;
    std::vector<HANDLE> processes;
    for (int i = 0; i < kLaunchers; ++i) {
        STARTUPINFOW startup{.cb = sizeof startup};
        const PROCESS_INFORMATION info = startProcess(launcher, startup, false);
        CloseHandle(info.hThread);
        processes.push_back(info.hProcess);
    }
    for (HANDLE process : processes) {
        EXPECT_EQ(WaitForSingleObject(process, 120000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, 0u) << "status 3: the child could not be started";
        CloseHandle(process);
    }
    std::string bytes = readFile(s.logDir() + L"\\" + todayLogName()).value_or("");
    std::map<std::string, int> messages;
    int records = 0;
    for (const LogRecord& record : splitLogRecords(bytes)) {
        EXPECT_TRUE(record.wellFormed && record.terminated) << record.raw;
        ++messages[record.message];
        ++records;
    }
    EXPECT_EQ(records, kLaunchers * 4);
    for (const char* message : {"Starting Sorvane Launcher...", "System java version: 1.8.0_281",
                                "System JRE version >= 1.7, using system JRE", "Sorvane Launcher started"})
        EXPECT_EQ(messages[message], kLaunchers) << message;
}

}  // namespace
}  // namespace sorvane::e2e
