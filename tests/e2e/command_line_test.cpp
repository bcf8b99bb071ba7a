// The child's command line end to end: what javaw.exe receives, character for character.
#include "tests/e2e/harness/launcher_fixture.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace sorvane::e2e {
namespace {

StubSetup SystemJava()
{
    return {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")};
}

class ChildCommandLine : public LauncherTest {};

TEST_F(ChildCommandLine, WithoutTrustStoreTheSegmentIsAbsent)
{
    Sandbox& s = layOut({.cacerts = false, .stubs = {{StubDir::Java, SystemJava()}}});
    LaunchResult r = s.run({.args = L"ARG"});
    ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
    const std::wstring dir = s.installDir() + L"\\";
    EXPECT_EQ(r.at(StubDir::Java).javawRuns[0].commandLine,
              L"\"javaw.exe \" -DSorvaneInstallPath=\"" + dir + L"\\\" -jar \"" + dir + L"getdown-launcher-1.8.6.jar\" \"ARG\"");
}

TEST_F(ChildCommandLine, BundledRuntimeWithTrustStore)
{
    Sandbox& s = layOut({.cacerts = true, .stubs = {{StubDir::Jre, {.javaw = true}}}});
    LaunchResult r = s.run({.args = L"ARG", .javaDirOnPath = false});
    ASSERT_EQ(r.at(StubDir::Jre).javawRuns.size(), 1u);
    const std::wstring dir = s.installDir() + L"\\";
    EXPECT_EQ(r.at(StubDir::Jre).javawRuns[0].commandLine,
              L"\"" + dir + L"jre\\bin\\javaw.exe\" -Djavax.net.ssl.trustStore=\"" + dir + L"security\\cacerts\" -DSorvaneInstallPath=\"" +
                  dir + L"\\\" -jar \"" + dir + L"getdown-launcher-1.8.6.jar\" \"ARG\"");
}

struct ArgumentCase {
    const char* name;
    const wchar_t* launcherArgs;   // as written on the launcher's command line
    const wchar_t* forwarded;      // the last segment of the child's command line
    std::optional<std::wstring> childArgument;   // what the child's split gives back
};

class ForwardedArgument : public LauncherTest, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ForwardedArgument, ReachesTheChildExactly)
{
    const ArgumentCase& c = GetParam();
    for (const wchar_t* installName : {L"Tool", L"My Tool", L"Zażółć Ελληνικά"}) {
        Sandbox& s = layOut({.installName = installName, .cacerts = true, .stubs = {{StubDir::Java, SystemJava()}}});
        LaunchResult r = s.run({.args = c.launcherArgs});
        ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u) << narrow(installName);
        const JavawRun& child = r.at(StubDir::Java).javawRuns[0];
        EXPECT_EQ(child.javaOpens.jar, true) << narrow(child.ansiCommandLine);
        const std::wstring dir = javaReadablePath(s.installDir()) + L"\\";
        const std::wstring head = L"\"javaw.exe \" -Djavax.net.ssl.trustStore=\"" + dir + L"security\\cacerts\" -DSorvaneInstallPath=\"" +
                                  dir + L"\\\" -jar \"" + dir + L"getdown-launcher-1.8.6.jar\" ";
        EXPECT_EQ(child.commandLine, head + c.forwarded);
        // As a Java that reads its line with best fit splits it: still the six fields.
        int ansiFields = 0;
        LocalFree(CommandLineToArgvW(child.ansiCommandLine.c_str(), &ansiFields));
        EXPECT_EQ(ansiFields, c.childArgument ? 6 : static_cast<int>(child.argv.size())) << narrow(child.ansiCommandLine);
        if (c.childArgument) {
            ASSERT_EQ(child.argv.size(), 6u);
            EXPECT_EQ(child.argv[2], L"-DSorvaneInstallPath=" + dir);
            EXPECT_EQ(child.argv[4], dir + L"getdown-launcher-1.8.6.jar");
            EXPECT_EQ(child.argv[5], *c.childArgument);
        }
    }
}

const ArgumentCase kArguments[] = {
    {"Plain", L"ARG", L"\"ARG\"", L"ARG"},
    {"WithSpaces", L"\"my app --flag\"", L"\"my app --flag\"", L"my app --flag"},
    {"TrailingBackslash", L"\"C:\\data dir\\\\\"", L"\"C:\\data dir\\\\\"", L"C:\\data dir\\"},
    {"EmbeddedQuotes", L"\"say \\\"hi\\\"\"", L"\"say \\\"hi\\\"\"", L"say \"hi\""},
    {"Empty", L"\"\"", L"\"\"", L""},
    {"NonAscii", L"\"Zażółć\"", L"\"Zażółć\"", L"Zażółć"},
    // A quote, a backslash and a blank to a Java that best-fits: handed over as '?'.
    {"LookAlikes", L"\"a＂ -x　b＼\"", L"\"a? -x?b?\"", L"a? -x?b?"},
    // An argument that itself begins with a quote is handed over as it is, unquoted.
    {"BeginningWithAQuote", L"\"\\\"pre quoted\\\" tail\"", L"\"pre quoted\" tail", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Arguments, ForwardedArgument, ::testing::ValuesIn(kArguments),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChildCommandLine, PathsAndCommandLineAreEchoedWhole)
{
    Sandbox& s = layOut({.installName = L"Zażółć Ελληνικά", .cacerts = true, .stubs = {{StubDir::Java, SystemJava()}}});
    LaunchResult r = s.run({.args = L"ARG"});
    ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
    const std::string out = r.out;
    // What was handed over, which for this directory is its short form.
    const std::wstring dir = javaReadablePath(s.installDir()) + L"\\";
    for (const std::wstring& line : {dir + L"security\\cacerts", dir + L"\\", L"\"" + dir + L"getdown-launcher-1.8.6.jar\" ",
                                     r.at(StubDir::Java).javawRuns[0].commandLine})
        EXPECT_NE(out.find(narrow(line) + "\r\n"), std::string::npos) << narrow(line) << "\n---\n" << out;
}

// A real Java reads its command line in the ANSI code page (1252 here): a directory that code page
// cannot write is handed over in its short form, one it can write exactly as it is.
struct AnsiCase {
    const char* name;
    const wchar_t* installName;
    bool bundled;
    bool shortForm;   // whether the install directory goes over in its 8.3 form
    const wchar_t* javaDirName = L"java";   // the machine's Java, started through its short path too
};

class AnsiCodePage : public LauncherTest, public ::testing::WithParamInterface<AnsiCase> {};

TEST_P(AnsiCodePage, JavaCanOpenEveryPathItIsHanded)
{
    const AnsiCase& c = GetParam();
    Sandbox& s = layOut({.installName = c.installName, .javaDirName = c.javaDirName, .cacerts = true,
                         .stubs = {{c.bundled ? StubDir::Jre : StubDir::Java,
                                    c.bundled ? StubSetup{.javaw = true} : SystemJava()}}});
    const std::wstring documents = s.root() + L"\\Документы";
    createDirectories(documents);
    LaunchResult r = s.run({.args = quoteArgument(documents), .javaDirOnPath = !c.bundled});
    const auto& runs = r.at(c.bundled ? StubDir::Jre : StubDir::Java).javawRuns;
    ASSERT_EQ(runs.size(), 1u);
    const JavawRun& child = runs[0];

    const std::wstring dir = (c.shortForm ? javaReadablePath(s.installDir()) : s.installDir()) + L"\\";
    ASSERT_EQ(c.shortForm, dir != s.installDir() + L"\\") << "Wine gave the directory no 8.3 name";
    const std::wstring program = c.bundled ? L"\"" + dir + L"jre\\bin\\javaw.exe" : L"\"javaw.exe ";
    EXPECT_EQ(child.commandLine, program + L"\" -Djavax.net.ssl.trustStore=\"" + dir + L"security\\cacerts\" -DSorvaneInstallPath=\"" +
                                     dir + L"\\\" -jar \"" + dir + L"getdown-launcher-1.8.6.jar\" \"" +
                                     javaReadablePath(documents) + L"\"");
    EXPECT_EQ(child.ansiCommandLine.find(L'?'), std::wstring::npos) << narrow(child.ansiCommandLine);
    EXPECT_EQ(child.javaOpens.jar, true);
    EXPECT_EQ(child.javaOpens.trustStore, true);
    EXPECT_EQ(child.javaOpens.installPath, true);
    EXPECT_EQ(child.javaOpens.argument, true);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.logRecords().size(), 5u);
}

const AnsiCase kAnsiCases[] = {
    {"LettersOfTheCodePageStayAsTheyAre", L"Jürgen Café", false, false},
    {"CyrillicWithTheSystemRuntime", L"Дмитрий Tool", false, true, L"Java Дмитрия"},
    {"CyrillicWithTheBundledRuntime", L"Дмитрий Tool", true, true},
};

INSTANTIATE_TEST_SUITE_P(Installs, AnsiCodePage, ::testing::ValuesIn(kAnsiCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sorvane::e2e
