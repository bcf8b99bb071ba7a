// The child's command line end to end: what javaw.exe receives, character for character.
#include "tests/e2e/harness/launcher_fixture.h"

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
        const std::wstring dir = s.installDir() + L"\\";
        const std::wstring head = L"\"javaw.exe \" -Djavax.net.ssl.trustStore=\"" + dir + L"security\\cacerts\" -DSorvaneInstallPath=\"" +
                                  dir + L"\\\" -jar \"" + dir + L"getdown-launcher-1.8.6.jar\" ";
        EXPECT_EQ(child.commandLine, head + c.forwarded);
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
    const std::wstring dir = s.installDir() + L"\\";
    for (const std::wstring& line : {dir + L"security\\cacerts", dir + L"\\", L"\"" + dir + L"getdown-launcher-1.8.6.jar\" ",
                                     r.at(StubDir::Java).javawRuns[0].commandLine})
        EXPECT_NE(out.find(narrow(line) + "\r\n"), std::string::npos) << narrow(line) << "\n---\n" << out;
}

}  // namespace
}  // namespace sorvane::e2e
