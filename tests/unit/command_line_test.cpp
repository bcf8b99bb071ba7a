#include "launcher/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace sorvane {
namespace {

std::vector<std::wstring> PlatformSplit(const std::wstring& line)
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> result;
    for (int i = 0; argv && i < count; ++i)
        result.emplace_back(argv[i]);
    LocalFree(argv);
    return result;
}

std::vector<std::wstring> OurSplit(const std::wstring& line)
{
    CommandLineSplitter splitter(line.c_str());
    std::vector<std::wstring> result;
    WideBuffer argument;
    while (splitter.next(argument))
        result.emplace_back(argument.c_str(), argument.size());
    return result;
}

std::wstring Quoted(const wchar_t* arg)
{
    WideBuffer out;
    appendQuotedArgument(out, arg);
    return out.c_str();
}

// ---- The child command line, character for character ----

struct ShapeCase {
    const char* name;
    Runtime runtime;
    bool trustStore;
    const wchar_t* modulePath;
    const wchar_t* argument;
    const wchar_t* expected;
};

class ChildCommandLineShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ChildCommandLineShape, IsExact)
{
    const ShapeCase& c = GetParam();
    WideBuffer line = ChildCommandLine(c.runtime, c.trustStore, c.modulePath, c.argument);
    ASSERT_FALSE(line.failed());
    EXPECT_EQ(std::wstring(line.c_str()), c.expected);
}

const ShapeCase kShapes[] = {
    {"LocalWithTrustStore", Runtime::Local, true, L"C:\\Apps\\Tool\\launcher.exe", L"ARG",
     LR"("C:\Apps\Tool\jre\bin\javaw.exe" -Djavax.net.ssl.trustStore="C:\Apps\Tool\security\cacerts" -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"SystemWithoutTrustStore", Runtime::System, false, L"C:\\Apps\\Tool\\launcher.exe", L"ARG",
     LR"("javaw.exe " -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"TypicalRun", Runtime::System, true, L"C:\\Apps\\Tool\\launcher.exe", L"ARG",
     LR"("javaw.exe " -Djavax.net.ssl.trustStore="C:\Apps\Tool\security\cacerts" -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"LocalWithoutTrustStore", Runtime::Local, false, L"C:\\Apps\\Tool\\launcher.exe", L"ARG",
     LR"("C:\Apps\Tool\jre\bin\javaw.exe" -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"DriveRoot", Runtime::Local, false, L"D:\\launcher.exe", L"ARG",
     LR"("D:\jre\bin\javaw.exe" -DSorvaneInstallPath="D:\\" -jar "D:\getdown-launcher-1.8.6.jar" "ARG")"},
    {"Unc", Runtime::System, true, L"\\\\server\\share\\Tool\\launcher.exe", L"ARG",
     LR"("javaw.exe " -Djavax.net.ssl.trustStore="\\server\share\Tool\security\cacerts" -DSorvaneInstallPath="\\server\share\Tool\\" -jar "\\server\share\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"SpacesAndNonAnsi", Runtime::Local, false, L"C:\\Program Files\\Zażółć Ελληνικά\\launcher.exe", L"x",
     LR"("C:\Program Files\Zażółć Ελληνικά\jre\bin\javaw.exe" -DSorvaneInstallPath="C:\Program Files\Zażółć Ελληνικά\\" -jar "C:\Program Files\Zażółć Ελληνικά\getdown-launcher-1.8.6.jar" "x")"},
    {"ArgumentWithSpaces", Runtime::System, false, L"C:\\A\\launcher.exe", L"app one two",
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "app one two")"},
    {"ArgumentWithTrailingBackslash", Runtime::System, false, L"C:\\A\\launcher.exe", L"C:\\data\\",
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "C:\data\\")"},
    {"ArgumentWithEmbeddedQuote", Runtime::System, false, L"C:\\A\\launcher.exe", L"say \"hi\"",
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "say \"hi\"")"},
    {"ArgumentBeginningWithQuoteIsCopied", Runtime::System, false, L"C:\\A\\launcher.exe", L"\"pre quoted\" x",
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "pre quoted" x)"},
    {"EmptyArgument", Runtime::System, false, L"C:\\A\\launcher.exe", L"",
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "")"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, ChildCommandLineShape, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChildCommandLineLimit, LongestLineCreateProcessTakesIsBuiltAndOneMoreIsRefused)
{
    const wchar_t* module = L"C:\\A\\launcher.exe";
    size_t frame = ChildCommandLine(Runtime::System, false, module, L"").size();   // with ""
    std::wstring fits(kMaxCommandLineLength - frame, L'a');
    WideBuffer line = ChildCommandLine(Runtime::System, false, module, fits.c_str());
    ASSERT_FALSE(line.failed());
    EXPECT_EQ(line.size(), kMaxCommandLineLength);

    std::wstring tooLong = fits + L"a";
    WideBuffer refused = ChildCommandLine(Runtime::System, false, module, tooLong.c_str());
    EXPECT_TRUE(refused.failed());
    EXPECT_EQ(refused.size(), 0u);
}

// ---- Quoting: what the child's standard split gives back ----

TEST(QuotedArgument, CommonArgumentsOnlyGainTheirQuotes)
{
    for (const wchar_t* arg : {L"ARG", L"app one two", L"C:\\dir\\file.txt", L"\\\\server\\share\\x", L"ünïcødé", L"-x=1"})
        EXPECT_EQ(Quoted(arg), std::wstring(L"\"") + arg + L"\"") << arg;
}

TEST(QuotedArgument, RoundTripsThroughTheStandardSplit)
{
    const wchar_t* args[] = {
        L"", L" ", L"a b", L"\t", L"\"", L"\"\"", L"a\"b", L"\\", L"\\\\", L"a\\", L"a\\\\", L"a\\\"b", L"a\\\\\"b",
        L"\\\"", L"C:\\Program Files\\", L"x\"y\"z\\", L"'single'", L"%PATH%", L"^&|<>", L"π ≈ 3.14",
    };
    for (const wchar_t* arg : args) {
        std::wstring line = L"prog.exe " + Quoted(arg);
        std::vector<std::wstring> argv = PlatformSplit(line);
        ASSERT_EQ(argv.size(), 2u) << line;
        EXPECT_EQ(argv[1], arg) << line;
    }
}

TEST(ChildCommandLineRoundTrip, ChildReceivesTheInstallDirectoryArchiveAndArgumentExactly)
{
    const wchar_t* directories[] = {L"C:\\Apps\\Tool\\", L"D:\\", L"\\\\server\\share\\Tool\\",
                                    L"C:\\Program Files\\My App\\", L"C:\\Zażółć\\Ελληνικά\\"};
    const wchar_t* arguments[] = {L"ARG", L"with space", L"C:\\trailing\\", L"quote\"inside", L"", L"\\\\\"", L"a b\\"};
    for (const wchar_t* dir : directories) {
        std::wstring module = std::wstring(dir) + L"launcher.exe";
        for (const wchar_t* arg : arguments) {
            for (Runtime runtime : {Runtime::System, Runtime::Local}) {
                WideBuffer line = ChildCommandLine(runtime, true, module.c_str(), arg);
                std::vector<std::wstring> argv = PlatformSplit(line.c_str());
                ASSERT_EQ(argv.size(), 6u) << line.c_str();
                EXPECT_EQ(argv[0], runtime == Runtime::System ? L"javaw.exe " : std::wstring(dir) + L"jre\\bin\\javaw.exe");
                EXPECT_EQ(argv[1], L"-Djavax.net.ssl.trustStore=" + std::wstring(dir) + L"security\\cacerts");
                EXPECT_EQ(argv[2], L"-DSorvaneInstallPath=" + std::wstring(dir));
                EXPECT_EQ(argv[3], L"-jar");
                EXPECT_EQ(argv[4], std::wstring(dir) + L"getdown-launcher-1.8.6.jar");
                EXPECT_EQ(argv[5], arg) << line.c_str();
            }
        }
    }
}

// ---- The launcher's own command line: split exactly as CommandLineToArgvW splits it ----

TEST(CommandLineSplit, MatchesThePlatformOnHardCases)
{
    const wchar_t* lines[] = {
        L"launcher.exe", L"launcher.exe ARG", L"\"C:\\Program Files\\launcher.exe\" ARG",
        L"\"C:\\x\\launcher.exe\"ARG", L"C:\\a\\\"b c\" d", L"\"unterminated program", L" leading space",
        L"\tlauncher.exe\tA\tB", L"l \"\"", L"l \"\" \"\"", L"l a\"\"b", L"l \"a\"\"b\"", L"l \"a\"\"\"b\"",
        L"l \"\"\"\"", L"l \"\"\"\"\"\"", L"l \"\"\"a b\"\"\"", L"l \\\"a", L"l \\\\\"a b\"", L"l \\\\\\\"a",
        L"l a\\\\b", L"l a\\\\", L"l \"a\\\\\"", L"l \"a\\\"\"", L"l \"a b", L"l a\"b c\"d e", L"l    ",
        L"l a  \t  b", L"l \"\\\\server\\share\\\\\"", L"\"\"", L"\" \" x", L"l \"a\" \"\" b", L"l \"\" ",
        L"l \"a\"\"", L"l \"\"a\"\"", L"\"a\"\"b\" c", L"l \\\\\\\\\"\"\"", L"l ä \"ö ü\" ß",
    };
    for (const wchar_t* line : lines)
        EXPECT_EQ(OurSplit(line), PlatformSplit(line)) << line;
}

TEST(CommandLineSplit, MatchesThePlatformOnGeneratedLines)
{
    // Lines made of the characters that matter to the rules, in every combination that chance
    // brings up in a few thousand draws; the same seed every run.
    const wchar_t alphabet[] = {L'a', L'b', L' ', L'\t', L'"', L'"', L'\\', L'\\', L'\\', L'x'};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<int> length(1, 24);
    for (int i = 0; i < 5000; ++i) {
        std::wstring line;
        for (int n = length(random); n > 0; --n)
            line += alphabet[pick(random)];
        ASSERT_EQ(OurSplit(line), PlatformSplit(line)) << '[' << std::string(line.begin(), line.end()) << ']';
    }
}

TEST(CommandLineSplit, EmptyLineHasNoArgumentToForward)
{
    EXPECT_TRUE(OurSplit(L"").empty());
    CommandLineSplitter splitter(nullptr);
    WideBuffer argument;
    EXPECT_FALSE(splitter.next(argument));
}

}  // namespace
}  // namespace sorvane
