// The launcher with a real Java: a JDK's javac and jar build a tiny updater archive that writes down
// what its JVM received, and the launcher starts that JDK's javaw.exe on it. The stubs cannot show
// how a real Java launcher splits its command line and opens the archive: it reads both in the
// ANSI code page. Needs a Windows JDK (SORVANE_TEST_JDK, else the hosted runner's JAVA_HOME_17_X64);
// without one every case skips and says why.
#include "tests/e2e/harness/launcher_fixture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvane::e2e {
namespace {

// Lines: SorvaneInstallPath, javax.net.ssl.trustStore, then each argument; "null" for a property
// that was not set. Written in UTF-8 to the file SORVANE_REPORT names (an ASCII path).
constexpr char kReportSource[] = R"(import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

public class Report {
    public static void main(String[] args) throws Exception {
        StringBuilder text = new StringBuilder();
        text.append(System.getProperty("SorvaneInstallPath")).append('\n');
        text.append(System.getProperty("javax.net.ssl.trustStore")).append('\n');
        for (String arg : args) text.append(arg).append('\n');
        Files.write(Paths.get(System.getenv("SORVANE_REPORT")), text.toString().getBytes(StandardCharsets.UTF_8));
    }
}
)";

// A space and a trailing backslash: the quoting a real Java launcher must undo exactly.
constexpr wchar_t kArgument[] = LR"(my app --flag C:\data dir\)";

std::optional<std::wstring> testJdk() {
    for (const wchar_t* name : {L"SORVANE_TEST_JDK", L"JAVA_HOME_17_X64"})
        if (const auto value = environmentVariable(name); value && !value->empty()) return fullPath(*value);
    return std::nullopt;
}

void runTool(const std::wstring& exe, const std::wstring& arguments, const std::wstring& directory) {
    const ProcessRun run = runProcess({.application = exe,
                                       .commandLine = quoteArgument(exe) + L" " + arguments,
                                       .currentDirectory = directory,
                                       .timeoutMs = 120000,
                                       .mergeStderr = true});
    if (run.timedOut || run.exitCode != 0)
        throw std::runtime_error(narrow(exe) + " failed (" + std::to_string(run.exitCode) + "): " + run.out);
}

// Built once per run of this program: javac and jar take a few seconds each.
const std::wstring& reportJar(const std::wstring& jdk) {
    static ScratchDir dir;
    static const std::wstring jar = [&] {
        const std::wstring bin = joinPath(jdk, L"bin");
        writeFile(joinPath(dir.path(), L"Report.java"), kReportSource);
        createDirectories(joinPath(dir.path(), L"classes"));
        runTool(joinPath(bin, L"javac.exe"), L"-encoding UTF-8 -d classes Report.java", dir.path());
        runTool(joinPath(bin, L"jar.exe"), L"cfe report.jar Report -C classes Report.class", dir.path());
        return joinPath(dir.path(), L"report.jar");
    }();
    return jar;
}

bool inAnsiCodePage(std::wstring_view text) {
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, &usedDefault);
    return n > 0 && !usedDefault;
}

// Volume and file index: the same directory or file whatever form (8.3 or long) the path takes.
std::optional<std::pair<DWORD, ULONGLONG>> fileIdentity(const std::wstring& path) {
    const UniqueHandle file(CreateFileW(longPath(fullPath(path)).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return std::pair{info.dwVolumeSerialNumber, (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::vector<std::wstring> reportLines(const std::string& utf8) {
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < utf8.size();) {
        const std::size_t end = utf8.find('\n', start);
        if (end == std::string::npos) break;  // an unfinished line: the report was cut short
        lines.push_back(widen(std::string_view(utf8).substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

struct InstallCase {
    const char* name;
    const wchar_t* installName;
    bool outsideAnsi;  // the name is one the ANSI code page cannot hold
};

// Code page 1252 (the hosted runner's, and Wine's under a UTF-8 locale) has no Cyrillic.
constexpr InstallCase kInstallCases[] = {
    {"AsciiInstallDirectory", L"Tool", false},
    {"NonAnsiInstallDirectory", L"Инструмент", true},
};

void PrintTo(const InstallCase& c, std::ostream* out) { *out << c.name; }

class RealJava : public LauncherTest, public ::testing::WithParamInterface<InstallCase> {
protected:
    void SetUp() override {
        jdk_ = testJdk().value_or(L"");
        if (jdk_.empty())
            GTEST_SKIP() << "no Windows JDK: set SORVANE_TEST_JDK to one (the hosted Windows runner sets "
                            "JAVA_HOME_17_X64)";
        for (const wchar_t* tool : {L"java.exe", L"javaw.exe", L"javac.exe", L"jar.exe"})
            if (!exists(joinPath(jdk_, joinPath(L"bin", tool))))
                GTEST_SKIP() << narrow(jdk_) << " is not a Windows JDK: it has no bin\\" << narrow(tool);
    }

    std::wstring jdk_;
};

TEST_P(RealJava, ChildReceivesTheInstallPathTrustStoreAndArgument) {
    const InstallCase& c = GetParam();
    if (c.outsideAnsi && inAnsiCodePage(c.installName))
        GTEST_SKIP() << "this machine's ANSI code page (" << GetACP() << ") holds the name";

    Sandbox& s = layOut({.installName = c.installName, .jar = false, .cacerts = true});
    copyFile(reportJar(jdk_), joinPath(s.installDir(), kJarName));
    // Decided by the whole path: a temporary folder outside the code page changes the ASCII case too.
    const bool ansi = inAnsiCodePage(s.installDir());
    if (!ansi) {
        wchar_t shortName[MAX_PATH * 2];
        const DWORD n = GetShortPathNameW(s.installDir().c_str(), shortName, MAX_PATH * 2);
        if (n == 0 || n >= MAX_PATH * 2 || !inAnsiCodePage(shortName))
            GTEST_SKIP() << "the volume of " << narrow(s.root()) << " gives the install directory no 8.3 name";
    }
    const std::wstring report = joinPath(s.root(), L"report.txt");
    wchar_t system[MAX_PATH];
    wchar_t windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);

    const LaunchResult r = s.run({.args = quoteArgument(kArgument),
                                  .javaDirOnPath = false,
                                  .env = {{L"PATH", joinPath(jdk_, L"bin") + L";" + system + L";" + windows},
                                          {L"SORVANE_REPORT", report}},
                                  .timeoutMs = 120000});

    EXPECT_EQ(r.exitCode, 0u) << r.log;
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_NE(r.log.find("System JRE version >= 1.7, using system JRE"), std::string::npos) << r.log;
    const std::optional<std::string> bytes = readFile(report);
    ASSERT_TRUE(bytes) << "the Java child wrote no report; the launcher said:\n" << r.out;
    const std::vector<std::wstring> lines = reportLines(*bytes);
    ASSERT_EQ(lines.size(), 3u) << *bytes;
    const std::wstring& installPath = lines[0];
    const std::wstring& trustStore = lines[1];
    EXPECT_EQ(lines[2], kArgument);

    // Exactly one trailing backslash: the command line's doubled one, read back by the split.
    ASSERT_TRUE(installPath.ends_with(L"\\")) << narrow(installPath);
    EXPECT_FALSE(installPath.ends_with(L"\\\\")) << narrow(installPath);
    const std::wstring cacerts = joinPath(s.installDir(), L"security\\cacerts");
    if (ansi) {
        EXPECT_EQ(installPath, s.installDir() + L"\\");
        EXPECT_EQ(trustStore, cacerts);
    } else {
        // Handed over in a form the ANSI code page holds (the 8.3 one), naming the same places.
        EXPECT_TRUE(inAnsiCodePage(installPath)) << narrow(installPath);
        ASSERT_TRUE(fileIdentity(s.installDir()) && fileIdentity(cacerts));
        EXPECT_EQ(fileIdentity(installPath), fileIdentity(s.installDir())) << narrow(installPath);
        EXPECT_EQ(fileIdentity(trustStore), fileIdentity(cacerts)) << narrow(trustStore);
    }
}

INSTANTIATE_TEST_SUITE_P(Installs, RealJava, ::testing::ValuesIn(kInstallCases),
                         [](const ::testing::TestParamInfo<InstallCase>& info) { return info.param.name; });

}  // namespace
}  // namespace sorvane::e2e
