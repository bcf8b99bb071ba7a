#include "launcher/command_line.h"

#include "tests/best_fit_1252.h"

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

// ---- The child command line: exact bytes, and what the child's standard split gives back ----

std::wstring HandedOver(std::wstring text)
{
    for (wchar_t& c : text)
        c = IsLookAlike1252(c) ? L'?' : c;
    return text;
}

struct ChildLineCase {
    const char* name;
    const wchar_t* directory;   // the install directory as Java reads it
    Runtime runtime;
    bool trustStore;
    const wchar_t* argument;
    Quoting quoting;
    const wchar_t* expected;    // the exact line
};

class ChildLine : public ::testing::TestWithParam<ChildLineCase> {};

TEST_P(ChildLine, IsExactAndGivesTheArgumentBack)
{
    const ChildLineCase& c = GetParam();
    ForwardedArgument argument;
    argument.text.append(c.argument);
    argument.quoting = c.quoting;
    WideBuffer line = ChildCommandLine(c.runtime, LayoutIn(c.directory), c.trustStore, argument, IsLookAlike1252);
    ASSERT_FALSE(line.failed());
    EXPECT_EQ(std::wstring(line.c_str()), c.expected);

    // After the fixed fields, the standard split gives the argument back; a raw one in as many
    // pieces as the caller wrote.
    std::vector<std::wstring> meant = {HandedOver(c.argument)};
    if (c.quoting == Quoting::Raw) {
        meant = PlatformSplit(L"x " + HandedOver(c.argument));
        meant.erase(meant.begin());
    }
    std::vector<std::wstring> argv = PlatformSplit(line.c_str());
    const size_t fixedFields = c.trustStore ? 5 : 4;
    ASSERT_EQ(argv.size(), fixedFields + meant.size()) << line.c_str();
    EXPECT_EQ(std::vector<std::wstring>(argv.begin() + fixedFields, argv.end()), meant);
}

// The quoting of any argument is QuotedField's; these are the layouts, the runtimes and the ways
// an argument goes over.
const ChildLineCase kChildLines[] = {
    {"LocalWithTrustStore", L"C:\\Apps\\Tool\\", Runtime::Local, true, L"ARG", Quoting::Quoted,
     LR"("C:\Apps\Tool\jre\bin\javaw.exe" -Djavax.net.ssl.trustStore="C:\Apps\Tool\security\cacerts" -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"SystemWithoutTrustStore", L"C:\\Apps\\Tool\\", Runtime::System, false, L"ARG", Quoting::Quoted,
     LR"("javaw.exe " -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")"},
    {"DriveRoot", L"D:\\", Runtime::Local, false, L"ARG", Quoting::Quoted,
     LR"("D:\jre\bin\javaw.exe" -DSorvaneInstallPath="D:\\" -jar "D:\getdown-launcher-1.8.6.jar" "ARG")"},
    {"RawArgumentIsCopied", L"C:\\A\\", Runtime::System, false, L"\"pre quoted\" x", Quoting::Raw,
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "pre quoted" x)"},
    // Look-alikes go over as '?', which is what a Java of any age reads then: one argument still.
    {"LookAlikesInTheArgument", L"C:\\A\\", Runtime::System, false, L"a＂ -x b＼", Quoting::Quoted,
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "a? -x b?")"},
    // An empty argument still goes over, as "".
    {"EmptyArgument", L"C:\\A\\", Runtime::System, false, L"", Quoting::Quoted,
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "")"},
    {"LookAlikesInARawArgument", L"C:\\A\\", Runtime::System, false, L"\"a\" ʺ-x\u3000b", Quoting::Raw,
     LR"("javaw.exe " -DSorvaneInstallPath="C:\A\\" -jar "C:\A\getdown-launcher-1.8.6.jar" "a" ?-x?b)"},
    {"LookAlikesInALongPath", L"C:\\Apps＂ Tool\u2002＼\\", Runtime::Local, true, L"ARG", Quoting::Quoted,
     LR"("C:\Apps? Tool??\jre\bin\javaw.exe" -Djavax.net.ssl.trustStore="C:\Apps? Tool??\security\cacerts" -DSorvaneInstallPath="C:\Apps? Tool??\\" -jar "C:\Apps? Tool??\getdown-launcher-1.8.6.jar" "ARG")"},
    // Forward slashes are separators too; the value still ends where it should.
    {"ForwardSlashes", L"C:/dir/", Runtime::Local, true, L"ARG", Quoting::Quoted,
     LR"("C:/dir/jre\bin\javaw.exe" -Djavax.net.ssl.trustStore="C:/dir/security\cacerts" -DSorvaneInstallPath="C:/dir/" -jar "C:/dir/getdown-launcher-1.8.6.jar" "ARG")"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, ChildLine, ::testing::ValuesIn(kChildLines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QuotedField, RoundTripsThroughTheStandardSplit)
{
    const wchar_t* args[] = {
        L"", L" ", L"a b", L"\t", L"\"", L"\"\"", L"a\"b", L"\\", L"\\\\", L"a\\", L"a\\\\", L"a\\\"b", L"a\\\\\"b",
        L"\\\"", L"C:\\Program Files\\", L"x\"y\"z\\", L"'single'", L"%PATH%", L"^&|<>", L"π ≈ 3.14",
    };
    for (const wchar_t* arg : args) {
        WideBuffer line;
        line.append(L"prog.exe");
        appendField(line, L"-Dkey=", arg);
        std::vector<std::wstring> argv = PlatformSplit(line.c_str());
        ASSERT_EQ(argv.size(), 2u) << line.c_str();
        EXPECT_EQ(argv[1], L"-Dkey=" + std::wstring(arg)) << line.c_str();
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
