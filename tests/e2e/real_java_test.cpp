// The launcher with a real Java: a JDK's javac and jar build a tiny updater archive that writes down
// what its JVM received, and the launcher starts that JDK's javaw.exe on it. The stubs cannot show
// what a real Java launcher makes of its command line: it reads it in the ANSI code page (with best
// fit before JDK 17.0.17, 21.0.8 and 24), expands unquoted * and ? against its current directory,
// and finds its own files from the path it was started by. Runs against the JDK that
// SORVANE_TEST_JDK names (the test kit's run-tests.cmd --jdk DIR, once for each); without one
// every case skips and says why.
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

// Lines: SorvaneInstallPath, javax.net.ssl.trustStore ("null" when unset), java.version, then
// "option ..." for each option the JVM was started with and "argument ..." for each argument.
// Written in UTF-8 to the file SORVANE_REPORT names (an ASCII path). Java 8 compiles it too.
constexpr char kReportSource[] = R"(import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

public class Report {
    public static void main(String[] args) throws Exception {
        StringBuilder text = new StringBuilder();
        text.append(System.getProperty("SorvaneInstallPath")).append('\n');
        text.append(System.getProperty("javax.net.ssl.trustStore")).append('\n');
        text.append(System.getProperty("java.version")).append('\n');
        for (String option : ManagementFactory.getRuntimeMXBean().getInputArguments())
            text.append("option ").append(option).append('\n');
        for (String arg : args) text.append("argument ").append(arg).append('\n');
        Files.write(Paths.get(System.getenv("SORVANE_REPORT")), text.toString().getBytes(StandardCharsets.UTF_8));
    }
}
)";

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

// text as a Java launcher reads it through the ANSI code page: '?' for what the code page lacks.
std::wstring throughAnsi(const std::wstring& text) {
    std::string ansi(text.size() * 4, '\0');
    ansi.resize(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                    ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr));
    std::wstring back(ansi.size(), L'\0');
    back.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), back.data(),
                                    static_cast<int>(back.size())));
    return back;
}

struct RealJavaCase {
    const char* name;
    const wchar_t* installName;
    const wchar_t* argument;   // the launcher's one argument
    std::wstring received;     // what the JVM must receive for it
    bool bundled = false;      // the JDK's runtime under <install>\jre instead of the one on PATH
    const wchar_t* unwritable = nullptr;   // what the code page must lack for the row to hold
};

// Devanagari is in no ANSI code page, Cyrillic in some: a name with both is outside every one. The
// current directory holds files that * and ? would match: quoted, each arrives as it is.
const RealJavaCase kCases[] = {
    {"TrailingBackslashQuoteAndSpaces", L"My Tool", LR"(my "app" --flag C:\data dir\)", LR"(my "app" --flag C:\data dir\)"},
    {"StarIsNotExpanded", L"Tool", L"*.txt", L"*.txt"},
    {"QuestionMarkIsNotExpanded", L"Tool", L"a?b", L"a?b"},
    {"LookAlikeQuoteAndBackslash", L"Tool", L"a\uFF02 -x b\uFF3C", L"a? -x b?", false, L"\uFF02\uFF3C"},
    {"TextTheCodePageCannotWrite", L"Инструмент हिन्दी", L"Привет हिन्दी", throughAnsi(L"Привет हिन्दी"), false, L"Привет हिन्दी"},
    {"BundledRuntimeInADirectoryTheCodePageCannotWrite", L"Инструмент हिन्दी", L"ARG", L"ARG", true, L"Инструмент हिन्दी"},
};

void PrintTo(const RealJavaCase& c, std::ostream* out) { *out << c.name; }

class RealJava : public LauncherTest, public ::testing::WithParamInterface<RealJavaCase> {};

TEST_P(RealJava, ReceivesThePropertiesAndTheArgumentAndNothingElse) {
    const RealJavaCase& c = GetParam();
    const std::wstring jdk = environmentVariable(L"SORVANE_TEST_JDK").value_or(L"");
    if (jdk.empty()) GTEST_SKIP() << "no JDK given: run-tests.cmd --jdk DIR (or SORVANE_TEST_JDK) names one";
    for (const wchar_t* tool : {L"bin\\javac.exe", L"bin\\jar.exe", L"bin\\javaw.exe"})
        ASSERT_TRUE(exists(joinPath(jdk, tool))) << narrow(jdk) << " is not a JDK: it has no " << narrow(tool);

    if (c.unwritable && codePageWrites(c.unwritable))
        GTEST_SKIP() << "code page " << GetACP() << " writes " << narrow(c.unwritable) << ": the row needs one that cannot";
    Sandbox& s = layOut({.installName = c.installName, .jar = false, .cacerts = true});
    copyFile(reportJar(jdk), joinPath(s.installDir(), kJarName));
    if (!codePageWrites(s.installDir()) && !hasShortForm(s.installDir()))
        GTEST_SKIP() << "the volume gives the install directory no 8.3 name (fsutil 8dot3name)";
    for (const wchar_t* match : {L"one.txt", L"two.txt", L"axb"}) writeFile(joinPath(s.dir(StubDir::Cwd), match), "");
    wchar_t system[MAX_PATH], windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring path = std::wstring(system) + L";" + windows;
    if (c.bundled) {
        // The runtime as a vendor ships it: a JDK 8's jre folder, or a later JDK as a whole.
        const std::wstring jre = exists(joinPath(jdk, L"jre\\bin\\javaw.exe")) ? joinPath(jdk, L"jre") : jdk;
        runTool(joinPath(system, L"cmd.exe"), L"/c mklink /J " + quoteArgument(joinPath(s.installDir(), L"jre")) + L" " +
                                                  quoteArgument(jre), s.root());
    } else {
        path = joinPath(jdk, L"bin") + L";" + path;
    }
    const std::wstring report = joinPath(s.root(), L"report.txt");
    const LaunchResult r = s.run({.args = quoteArgument(c.argument),
                                  .javaDirOnPath = false,
                                  .env = {{L"PATH", path}, {L"SORVANE_REPORT", report}, {L"JAVA_TOOL_OPTIONS", std::nullopt},
                                          {L"_JAVA_OPTIONS", std::nullopt}, {L"JDK_JAVA_OPTIONS", std::nullopt}},
                                  .timeoutMs = 120000});

    EXPECT_EQ(r.exitCode, 0u) << r.log;
    const std::optional<std::string> bytes = readFile(report);
    ASSERT_TRUE(bytes) << "the Java child wrote no report; the launcher logged:\n" << r.log;
    const std::vector<std::wstring> lines = reportLines(*bytes);
    ASSERT_GE(lines.size(), 3u) << *bytes;
    // Each path names what it should (in its short form where the code page lacks a character),
    // the install path with one trailing backslash: the command line's doubled one, read back.
    EXPECT_TRUE(sameFile(lines[0], s.installDir())) << *bytes;
    EXPECT_TRUE(lines[0].ends_with(L"\\") && !lines[0].ends_with(L"\\\\")) << *bytes;
    EXPECT_TRUE(sameFile(lines[1], s.installDir() + L"\\security\\cacerts")) << *bytes;
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 3, lines.end()),
              (std::vector<std::wstring>{L"option -Djavax.net.ssl.trustStore=" + lines[1],
                                         L"option -DSorvaneInstallPath=" + lines[0], L"argument " + c.received}))
        << "Java " << narrow(lines[2]) << " received:\n" << *bytes;
    EXPECT_NE(r.log.find(c.bundled ? "using bundled JRE" : "using system JRE"), std::string::npos) << r.log;
}

INSTANTIATE_TEST_SUITE_P(Rows, RealJava, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RealJavaCase>& info) { return info.param.name; });

}  // namespace
}  // namespace sorvane::e2e
