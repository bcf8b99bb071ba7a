// The child's command line end to end: what javaw.exe receives, character for character.
#include "tests/e2e/harness/launcher_fixture.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane::e2e {
namespace {

StubSetup SystemJava()
{
    return {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")};
}

// The value of a "-Dname=value" field.
std::wstring valueOf(const std::wstring& field, std::wstring_view name)
{
    EXPECT_TRUE(field.starts_with(name)) << narrow(field);
    return field.substr(std::min(name.size(), field.size()));
}

class ChildCommandLine : public LauncherTest {};

// What only a real process shows of the forwarded argument: how a Java that reads its line with
// best fit (GetCommandLineA) splits it, and a raw argument as the launcher received it. How any
// argument is quoted is the unit tests' round trip.
struct ArgumentCase {
    const char* name;
    const wchar_t* launcherArgs;   // as written on the launcher's command line
    const wchar_t* forwarded;      // the last segment of the child's command line
    std::optional<std::wstring> childArgument;   // what the child's split gives back
    bool lookAlikes1252 = false;                  // what code page 1252 best-fits to a quote, a backslash, a blank
};

class ForwardedArgument : public LauncherTest, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ForwardedArgument, ReachesTheChildAsOneArgument)
{
    const ArgumentCase& c = GetParam();
    if (c.lookAlikes1252 && GetACP() != 1252)
        GTEST_SKIP() << "the row's look-alikes are code page 1252's; this machine's is " << GetACP();
    Sandbox& s = layOut({.installName = L"My Tool", .cacerts = true, .stubs = {{StubDir::Java, SystemJava()}}});
    LaunchResult r = s.run({.args = c.launcherArgs});
    ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
    const JavawRun& child = r.at(StubDir::Java).javawRuns[0];
    EXPECT_TRUE(child.commandLine.ends_with(L"getdown-launcher-1.8.6.jar\" " + std::wstring(c.forwarded)))
        << narrow(child.commandLine);
    EXPECT_EQ(child.javaOpens.jar, true) << narrow(child.ansiCommandLine);
    // As a Java that reads its line with best fit splits it: still the six fields.
    int ansiFields = 0;
    LocalFree(CommandLineToArgvW(child.ansiCommandLine.c_str(), &ansiFields));
    EXPECT_EQ(ansiFields, c.childArgument ? 6 : static_cast<int>(child.argv.size())) << narrow(child.ansiCommandLine);
    if (c.childArgument) {
        ASSERT_EQ(child.argv.size(), 6u);
        EXPECT_EQ(child.argv[5], *c.childArgument);
    }
}

const ArgumentCase kArguments[] = {
    // A quote, a backslash and a blank to a Java that best-fits: handed over as '?'.
    {"LookAlikes", L"\"a＂ -x　b＼\"", L"\"a? -x?b?\"", L"a? -x?b?", true},
    // Letters the code page lacks but best-fits to letters: the split is not moved.
    {"OutsideTheCodePage", L"\"Zażółć Ελληνικά\"", L"\"Zażółć Ελληνικά\"", L"Zażółć Ελληνικά"},
    // An argument that itself begins with a quote is handed over as it is, unquoted.
    {"BeginningWithAQuote", L"\"\\\"pre quoted\\\" tail\"", L"\"pre quoted\" tail", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Arguments, ForwardedArgument, ::testing::ValuesIn(kArguments),
                         [](const auto& info) { return std::string(info.param.name); });

// Each path is echoed as the child's command line writes it, and the line itself.
TEST_F(ChildCommandLine, PathsAndCommandLineAreEchoedWhole)
{
    Sandbox& s = layOut({.installName = L"Zażółć Ελληνικά", .cacerts = true, .stubs = {{StubDir::Java, SystemJava()}}});
    LaunchResult r = s.run({.args = L"ARG"});
    ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
    const JavawRun& child = r.at(StubDir::Java).javawRuns[0];
    ASSERT_EQ(child.argv.size(), 6u);
    const std::wstring trustStore = valueOf(child.argv[1], L"-Djavax.net.ssl.trustStore=");
    const std::wstring install = valueOf(child.argv[2], L"-DSorvaneInstallPath=");
    for (const std::wstring& line : {trustStore, install + L"\\", L"\"" + child.argv[4] + L"\" ", child.commandLine})
        EXPECT_NE(r.out.find(narrow(line) + "\r\n"), std::string::npos) << narrow(line) << "\n---\n" << r.out;
}

// A real Java reads its command line in the ANSI code page (1252 here): a directory that code page
// cannot write is handed over in its short form, one it can write exactly as it is. Either way
// every path names what it should, and opens through the ANSI text.
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
    // The whole path counts: %TEMP% may lie in a profile named outside the code page.
    if (codePageWrites(s.installDir()) == c.shortForm)
        GTEST_SKIP() << "code page " << GetACP() << (c.shortForm ? " writes " : " cannot write ") << narrow(s.installDir());
    const std::wstring documents = s.root() + L"\\Документы";
    createDirectories(documents);
    for (const std::wstring& needed : {s.installDir(), documents}) {
        if (!codePageWrites(needed) && !hasShortForm(needed))
            GTEST_SKIP() << "the volume gives " << narrow(needed) << " no 8.3 name (fsutil 8dot3name)";
    }
    LaunchResult r = s.run({.args = quoteArgument(documents), .javaDirOnPath = !c.bundled});
    const auto& runs = r.at(c.bundled ? StubDir::Jre : StubDir::Java).javawRuns;
    ASSERT_EQ(runs.size(), 1u);
    const JavawRun& child = runs[0];
    ASSERT_EQ(child.argv.size(), 6u);

    const std::wstring dir = valueOf(child.argv[2], L"-DSorvaneInstallPath=");
    EXPECT_TRUE(sameFile(dir, s.installDir())) << narrow(dir);
    EXPECT_EQ(dir != s.installDir() + L"\\", c.shortForm) << narrow(dir);
    EXPECT_TRUE(c.bundled ? sameFile(child.argv[0], s.dir(StubDir::Jre) + L"\\javaw.exe") : child.argv[0] == L"javaw.exe ");
    EXPECT_TRUE(sameFile(child.argv[5], documents)) << narrow(child.argv[5]);
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
    {"SpacesAndBracketsStayAsTheyAre", L"My Tool (x86) 2.0", true, false},
    // Devanagari is in no ANSI code page, Cyrillic in some: together they are outside every one.
    {"CyrillicAndDevanagariWithTheSystemRuntime", L"Дмитрий हिन्दी", false, true, L"Java Дмитрия हिन्दी"},
    {"CyrillicAndDevanagariWithTheBundledRuntime", L"Дмитрий हिन्दी", true, true},
};

INSTANTIATE_TEST_SUITE_P(Installs, AnsiCodePage, ::testing::ValuesIn(kAnsiCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sorvane::e2e
