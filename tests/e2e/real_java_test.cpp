// The launcher with a real Java: a JDK's javac and jar build a tiny updater archive that writes down
// what its JVM received, and the launcher starts that JDK's javaw.exe on it. The stubs cannot show
// how a real Java launcher splits its command line and opens the archive: it reads both in the
// ANSI code page. Needs a Windows JDK (SORVANE_TEST_JDK, else the hosted runner's JAVA_HOME_17_X64);
// without one every case skips and says why.
#include "tests/e2e/harness/launcher_fixture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
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

std::vector<std::wstring> reportLines(const std::string& utf8) {
    std::vector<std::wstring> lines;
    for (std::size_t start = 0, end; (end = utf8.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(widen(std::string_view(utf8).substr(start, end - start)));
    return lines;
}

struct InstallCase {
    const char* name;
    const wchar_t* installName;
};

// Code page 1252 (the hosted runner's, and Wine's under a UTF-8 locale) has no Cyrillic.
constexpr InstallCase kInstallCases[] = {
    {"AsciiInstallDirectory", L"Tool"},
    {"NonAnsiInstallDirectory", L"Инструмент"},
};

void PrintTo(const InstallCase& c, std::ostream* out) { *out << c.name; }

class RealJava : public LauncherTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(RealJava, ChildReceivesTheInstallPathTrustStoreAndArgument) {
    // CMake sets it from SORVANE_TEST_JDK or JAVA_HOME_17_X64 after checking that it is a JDK.
    const std::wstring jdk = environmentVariable(L"SORVANE_TEST_JDK").value_or(L"");
    if (jdk.empty()) GTEST_SKIP() << "no Windows JDK: configure with SORVANE_TEST_JDK set to one";

    Sandbox& s = layOut({.installName = GetParam().installName, .jar = false, .cacerts = true});
    copyFile(reportJar(jdk), joinPath(s.installDir(), kJarName));
    wchar_t shortForm[MAX_PATH] = {};
    GetShortPathNameW(s.installDir().c_str(), shortForm, MAX_PATH);
    if (GetParam().installName != std::wstring_view(L"Tool") && s.installDir() == shortForm)
        GTEST_SKIP() << "the volume gives the install directory no 8.3 name";
    const std::wstring report = joinPath(s.root(), L"report.txt");
    wchar_t system[MAX_PATH];
    wchar_t windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);

    const LaunchResult r = s.run({.args = quoteArgument(kArgument),
                                  .javaDirOnPath = false,
                                  .env = {{L"PATH", joinPath(jdk, L"bin") + L";" + system + L";" + windows},
                                          {L"SORVANE_REPORT", report}},
                                  .timeoutMs = 120000});

    EXPECT_EQ(r.exitCode, 0u) << r.log;
    EXPECT_NE(r.log.find("System JRE version >= 1.7, using system JRE"), std::string::npos) << r.log;
    const std::optional<std::string> bytes = readFile(report);
    ASSERT_TRUE(bytes) << "the Java child wrote no report; the launcher said:\n" << r.out;
    // Each path names what it should (in its short form where the code page lacks a character),
    // the install path with one trailing backslash: the command line's doubled one, read back.
    const std::vector<std::wstring> lines = reportLines(*bytes);
    ASSERT_EQ(lines.size(), 3u) << *bytes;
    EXPECT_TRUE(iequals(longForm(lines[0]), s.installDir() + L"\\")) << *bytes;
    EXPECT_TRUE(lines[0].ends_with(L"\\") && !lines[0].ends_with(L"\\\\")) << *bytes;
    EXPECT_TRUE(iequals(longForm(lines[1]), s.installDir() + L"\\security\\cacerts")) << *bytes;
    EXPECT_EQ(lines[2], kArgument);
}

INSTANTIATE_TEST_SUITE_P(Installs, RealJava, ::testing::ValuesIn(kInstallCases),
                         [](const ::testing::TestParamInfo<InstallCase>& info) { return info.param.name; });

}  // namespace
}  // namespace sorvane::e2e
