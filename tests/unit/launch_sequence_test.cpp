#include "launcher/launch_sequence.h"

#include "launcher/java_path.h"
#include "launcher/win32_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sorvane {
namespace {

// Records what the sequence asks of the machine; answers from the test's settings.
class FakePlatform final : public Platform {
public:
    std::wstring line = L"launcher.exe ARG";
    std::wstring installDir = L"C:\\Apps\\Tool\\";
    std::optional<std::string> probeOutput;   // nullopt: no java could be started
    std::map<std::wstring, std::wstring> programs = {{L"java.exe", L"C:\\Java\\bin\\java.exe"}};  // the search finds
    std::set<std::wstring> existing;
    std::map<std::wstring, std::wstring> shortForms;   // what GetShortPathNameW gives; absent: it fails
    std::set<std::wstring> shortFormsOutOfMemory;      // whose short form is cut short by a failed allocation
    bool childStarts = true;
    unsigned long childError = 0;

    std::vector<std::string> records;
    std::vector<std::wstring> echoes;
    std::vector<std::wstring> fileChecks;
    int probes = 0;
    std::optional<std::wstring> probedJava;
    std::optional<std::wstring> childProgram;
    std::optional<std::wstring> childLine;
    std::optional<std::wstring> boxText;
    std::optional<std::wstring> boxCaption;

    const wchar_t* commandLine() override { return line.c_str(); }
    const wchar_t* installDirectory() override { return installDir.c_str(); }
    void log(const char* message) override { records.emplace_back(message); }
    void echo(const wchar_t* text) override { echoes.emplace_back(text); }
    bool findProgram(const wchar_t* fileName, WideBuffer& path) override { return lookUp(programs, fileName, path); }
    bool captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output) override
    {
        ++probes;
        probedJava = javaPath;
        if (!probeOutput)
            return false;
        output.append(probeOutput->data(), probeOutput->size());
        return true;
    }
    // As code page 1252 roughly: Latin-1 is there, Polish, Greek and Cyrillic letters are not.
    bool readableByJava(const wchar_t* text) override
    {
        for (const wchar_t* c = text; *c; ++c)
            if (*c > 0xFF)
                return false;
        return true;
    }
    LookAlikeTest lookAlikeTest() override { return nullptr; }
    bool shortPath(const wchar_t* path, WideBuffer& shortForm) override
    {
        if (!shortFormsOutOfMemory.count(path))
            return lookUp(shortForms, path, shortForm);
        shortForm.clear();
        shortForm.append(L"C:\\CUT");
        shortForm.reserve(static_cast<size_t>(-1));
        return true;
    }
    bool fileExists(const wchar_t* path) override
    {
        fileChecks.emplace_back(path);
        return existing.count(path) != 0;
    }
    bool runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error) override
    {
        childProgram = program;
        childLine = commandLine;
        records.emplace_back("<child ran>");
        error = childError;
        return childStarts;
    }
    void showMessageBox(const wchar_t* text, const wchar_t* caption) override
    {
        records.emplace_back("<box shown>");
        boxText = text;
        boxCaption = caption;
    }

private:
    static bool lookUp(const std::map<std::wstring, std::wstring>& answers, const wchar_t* key, WideBuffer& out)
    {
        auto it = answers.find(key);
        out.clear();
        if (it != answers.end())
            out.append(it->second.c_str());
        return it != answers.end();
    }
};

const std::wstring kLocalJava = L"C:\\Apps\\Tool\\jre\\bin\\javaw.exe";
const std::wstring kTrustStore = L"C:\\Apps\\Tool\\security\\cacerts";
const std::wstring kSystemJavaw = L"C:\\Java\\bin\\javaw.exe";
const char kStart[] = "Starting Sorvane Launcher...";
const char kSystem[] = "System JRE version >= 1.7, using system JRE";
const char kBundled[] = "System JRE not found, or JRE version < 1.7,  using bundled JRE";
const char kCert[] = "Find cert file,Starting Sorvane Launcher with -Djavax.net.ssl.trustStore...";
const char kStarted[] = "Sorvane Launcher started";

TEST(LaunchSequence, TypicalRunRecordsEveryStepAndStartsTheSystemRuntime)
{
    FakePlatform p;
    p.probeOutput = "java version \"1.8.0_281\"\n";
    p.existing = {kTrustStore, kSystemJavaw};
    EXPECT_EQ(RunLauncher(p), kExitChildEnded);
    EXPECT_EQ(p.records, (std::vector<std::string>{kStart, "System java version: 1.8.0_281", kSystem, kCert,
                                                   "<child ran>", kStarted}));
    // The javaw.exe beside the java.exe whose version was checked; the command line still names
    // the bare program.
    EXPECT_EQ(*p.childProgram, kSystemJavaw);
    EXPECT_EQ(*p.childLine,
              LR"("javaw.exe " -Djavax.net.ssl.trustStore="C:\Apps\Tool\security\cacerts" -DSorvaneInstallPath="C:\Apps\Tool\\" -jar "C:\Apps\Tool\getdown-launcher-1.8.6.jar" "ARG")");
    // With the system runtime the bundled one is never looked at.
    EXPECT_EQ(std::count(p.fileChecks.begin(), p.fileChecks.end(), kLocalJava), 0);
    EXPECT_EQ(p.echoes.back(), *p.childLine);
}

TEST(LaunchSequence, WithoutAnArgumentOnlyTheStartIsRecorded)
{
    for (const wchar_t* line : {L"launcher.exe", L"\"C:\\Apps\\Tool\\launcher.exe\"   ", L""}) {
        FakePlatform p;
        p.line = line;
        p.probeOutput = "java version \"1.8.0_281\"";
        EXPECT_EQ(RunLauncher(p), kExitNoArgument);
        EXPECT_EQ(p.records, std::vector<std::string>{kStart});
        EXPECT_EQ(p.probes, 0);
        EXPECT_FALSE(p.childLine);
        EXPECT_FALSE(p.boxText);
    }
}

// What java -version says, as the sequence reads it: the version text it logs and the runtime it
// chooses (the machine's from 1.7 on, compared as a number).
struct VersionCase {
    const char* name;
    std::optional<std::string> probeOutput;   // nullopt: no java could be started
    std::string version;                      // after "System java version: "
    bool system;
};

class RuntimeChoice : public ::testing::TestWithParam<VersionCase> {};

TEST_P(RuntimeChoice, FollowsTheVersionFound)
{
    const VersionCase& c = GetParam();
    FakePlatform p;
    p.probeOutput = c.probeOutput;
    p.existing = {kLocalJava, kSystemJavaw};
    EXPECT_EQ(RunLauncher(p), kExitChildEnded);
    ASSERT_GE(p.records.size(), 3u);
    EXPECT_EQ(p.records[1], "System java version: " + c.version);
    EXPECT_EQ(p.records[2], c.system ? kSystem : kBundled);
    EXPECT_EQ(*p.childProgram, c.system ? kSystemJavaw : kLocalJava);
    EXPECT_EQ(p.childLine->rfind(c.system ? L"\"javaw.exe \" " : L"\"" + kLocalJava + L"\" ", 0), 0u);
}

const std::string kNone = "JRE not found";
const VersionCase kVersions[] = {
    {"Java8", "java version \"1.8.0_281\"\r\nJava(TM) SE Runtime Environment (build 1.8.0_281-b09)\r\n", "1.8.0_281", true},
    {"Java7", "java version \"1.7.0_80\"\n", "1.7.0_80", true},
    {"Java6", "java version \"1.6.0_45\"\n", "1.6.0_45", false},
    {"Java9", "java version \"9\"\n", "9", true},
    {"Java11", "java version \"11.0.2\" 2019-01-15 LTS\n", "11.0.2", true},
    {"Java17", "java version \"17\" 2021-09-14 LTS\n", "17", true},
    {"EarlyAccess17", "openjdk version \"17-ea\" 2021-09-14\n", "17-ea", true},
    {"OpenJdk17",
     "openjdk version \"17.0.15\" 2025-04-15\nOpenJDK Runtime Environment (build 17.0.15+6-Debian-1deb12u1)\n"
     "OpenJDK 64-Bit Server VM (build 17.0.15+6-Debian-1deb12u1, mixed mode, sharing)\n",
     "17.0.15", true},
    {"EmptyQuotedVersion", "java version \"\"\n", "", false},
    {"VersionLongerThan99", "java version \"" + std::string(150, '7') + "\"", std::string(99, '7'), true},
    {"PickedUpLineWithQuotes",
     "Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=\"UTF-8\" -Dx=\"a b\"\njava version \"1.8.0_281\"\n", "1.8.0_281", true},
    {"PickedUpOptionsLine", "Picked up _JAVA_OPTIONS: -Xmx512m\nopenjdk version \"11.0.2\"\n", "11.0.2", true},
    {"QuotedTextWithoutPhrase", "jdk \"1.8.0\"\n", "1.8.0", true},
    {"OnlyPhraseLetters", "version \"1.8\"", "1.8", true},
    {"PhraseLettersOnlyAroundQuotes", "rev \"seen\"", kNone, false},
    {"OneQuote", "java version \"1.8.0_281\n", kNone, false},
    {"NoQuote", "java version 1.8.0_281\n", kNone, false},
    {"Nothing", "", kNone, false},
    {"NotJava", "'java' is not recognized as an internal or external command\r\n", kNone, false},
    {"ZeroByteEndsTheText", std::string("java version \"1.8", 17) + std::string(1, '\0') + "\"\n", kNone, false},
    {"ZeroByteAfterVersion", std::string("java version \"1.8.0\"\0junk\"", 26), "1.8.0", true},
    {"NoJavaAtAll", std::nullopt, kNone, false},
};

INSTANTIATE_TEST_SUITE_P(RealOutputs, RuntimeChoice, ::testing::ValuesIn(kVersions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LaunchSequence, NoRuntimeAnywhereRecordsTheFailureThenShowsTheBox)
{
    FakePlatform p;
    p.probeOutput = "java version \"1.6.0_45\"";
    EXPECT_EQ(RunLauncher(p), kExitNoRuntime);
    EXPECT_EQ(p.records, (std::vector<std::string>{kStart, "System java version: 1.6.0_45", kBundled,
                                                   "Bundled JRE not found",
                                                   "Sorvane Launcher cannot be started. Please install JRE.",
                                                   "<box shown>"}));
    EXPECT_EQ(*p.boxText, L"Sorvane Launcher cannot be started. Please install JRE.");
    EXPECT_EQ(*p.boxCaption, L"Running java version:");
    EXPECT_FALSE(p.childLine);
    EXPECT_EQ(p.fileChecks, std::vector<std::wstring>{kLocalJava});
}

TEST(LaunchSequence, ChildThatCannotStartIsReportedWithItsErrorCode)
{
    FakePlatform p;
    p.probeOutput = "java version \"1.8.0_281\"";
    p.existing = {kSystemJavaw};
    p.childStarts = false;
    p.childError = 193;
    EXPECT_EQ(RunLauncher(p), kExitChildNotStarted);
    ASSERT_GE(p.records.size(), 2u);
    EXPECT_EQ(p.records[p.records.size() - 2], "Failed to start Java, error 193");
    EXPECT_EQ(p.records.back(), kStarted);
}

// A Java that answers 1.7 or later but has no javaw.exe beside its java.exe counts as none, even
// with one elsewhere on the search: that one's version was never checked.
TEST(LaunchSequence, JavaWithoutJavawBesideItIsPassedOverForTheBundledRuntime)
{
    for (bool bundled : {true, false}) {
        FakePlatform p;
        p.probeOutput = "openjdk version \"11.0.2-BellSoft\"";
        p.programs[L"javaw.exe"] = L"C:\\Java6\\bin\\javaw.exe";
        p.existing = {L"C:\\Java6\\bin\\javaw.exe"};
        if (bundled)
            p.existing.insert(kLocalJava);
        EXPECT_EQ(RunLauncher(p), bundled ? kExitChildEnded : kExitNoRuntime);
        EXPECT_EQ(p.records[2], kBundled);
        EXPECT_EQ(p.childProgram, bundled ? std::optional(kLocalJava) : std::nullopt);
        EXPECT_EQ(p.boxText.has_value(), !bundled);
    }
}

// Text that a failed allocation cut short never reaches Java, whichever buffer it is in.
TEST(LaunchSequence, BufferThatCouldNotGrowStartsNoChild)
{
    const std::wstring cyrillic = L"C:\\Дмитрий\\";
    for (const std::wstring& cut : {cyrillic, cyrillic + L"Documents", cyrillic + L"bin\\javaw.exe"}) {
        FakePlatform p;
        p.probeOutput = "java version \"1.8.0_281\"";
        p.programs[L"java.exe"] = cyrillic + L"bin\\java.exe";
        p.line = L"launcher.exe " + cyrillic + L"Documents";
        p.installDir = cut == cyrillic ? cyrillic : L"C:\\Apps\\Tool\\";
        p.existing = {cyrillic + L"Documents", cyrillic + L"bin\\javaw.exe"};
        p.shortFormsOutOfMemory = {cut};
        EXPECT_EQ(RunLauncher(p), kExitChildNotStarted);
        EXPECT_FALSE(p.childProgram);
        EXPECT_EQ(p.records.end()[-2], "Failed to start Java, error 8");
    }
}

TEST(LaunchSequence, LongestCommandLineCreateProcessTakesIsStartedAndOneMoreIsNot)
{
    FakePlatform measure;
    measure.probeOutput = "java version \"1.8.0_281\"";
    measure.existing = {kSystemJavaw};
    measure.line = L"launcher.exe x";
    RunLauncher(measure);
    const size_t fits = kMaxCommandLineLength - (measure.childLine->size() - 1);
    for (size_t length : {fits, fits + 1}) {
        FakePlatform p;
        p.probeOutput = measure.probeOutput;
        p.existing = measure.existing;
        p.line = L"launcher.exe " + std::wstring(length, L'x');
        if (length == fits) {
            EXPECT_EQ(RunLauncher(p), kExitChildEnded);
            EXPECT_EQ(p.childLine->size(), kMaxCommandLineLength);
        } else {
            EXPECT_EQ(RunLauncher(p), kExitChildNotStarted);
            EXPECT_EQ(p.records.back(), "Command line too long");
            EXPECT_FALSE(p.childLine);
        }
    }
}

// GetModuleFileNameW failed: no layout may be taken relative to the current directory.
TEST(LaunchSequence, InstallDirectoryThatIsNotFullyQualifiedIsRefused)
{
    for (const wchar_t* directory : {L"", L"Tool\\"}) {
        FakePlatform p;
        p.installDir = directory;
        p.probeOutput = "java version \"1.8.0_281\"";
        p.existing = {L"jre\\bin\\javaw.exe", L"Tool\\jre\\bin\\javaw.exe", kSystemJavaw};
        EXPECT_EQ(RunLauncher(p), kExitChildNotStarted);
        EXPECT_EQ(p.records, (std::vector<std::string>{kStart, "Install directory not found"}));
        EXPECT_EQ(p.probes, 0);
        EXPECT_FALSE(p.childLine);
        EXPECT_FALSE(p.boxText);
    }
}

TEST(LaunchSequence, OnlyTheFirstArgumentIsForwarded)
{
    FakePlatform p;
    p.probeOutput = "java version \"1.8.0_281\"";
    p.line = L"\"C:\\Apps\\Tool\\launcher.exe\" \"first one\" second third";
    p.existing = {kSystemJavaw};
    RunLauncher(p);
    ASSERT_TRUE(p.childLine);
    EXPECT_EQ(p.childLine->substr(p.childLine->size() - 12), L" \"first one\"");
}

// What a Java runtime is handed for a path: a Java launcher reads its command line in the ANSI
// code page, so a path that code page cannot write goes over in its short form when it has one.
struct JavaFormCase {
    const char* name;
    std::wstring path;
    std::map<std::wstring, std::wstring> shortForms;
    bool exists;
    std::wstring asPath;       // PathForJava
    std::wstring asArgument;   // ArgumentForJava
};

class JavaForm : public ::testing::TestWithParam<JavaFormCase> {};

TEST_P(JavaForm, IsTheShortFormOnlyWhereJavaCannotReadThePath)
{
    const JavaFormCase& c = GetParam();
    FakePlatform p;
    p.shortForms = c.shortForms;
    if (c.exists)
        p.existing = {c.path};
    EXPECT_EQ(PathForJava(p, c.path.c_str()).c_str(), c.asPath);
    ForwardedArgument argument = ArgumentForJava(p, c.path.c_str());
    EXPECT_EQ(argument.text.c_str(), c.asArgument);
    EXPECT_EQ(argument.quoting, c.path[0] == L'"' ? Quoting::Raw : Quoting::Quoted);
}

const std::wstring kCyrillic = L"C:\\Users\\Дмитрий\\Tool\\";
const JavaFormCase kJavaForms[] = {
    {"ReadablePathStaysLong", L"C:\\Users\\Jürgen Café\\", {{L"C:\\Users\\Jürgen Café\\", L"C:\\Users\\JRGENC~1\\"}},
     true, L"C:\\Users\\Jürgen Café\\", L"C:\\Users\\Jürgen Café\\"},
    {"UnreadablePathTakesItsShortForm", kCyrillic, {{kCyrillic, L"C:\\Users\\D8F2~1\\Tool\\"}}, true,
     L"C:\\Users\\D8F2~1\\Tool\\", L"C:\\Users\\D8F2~1\\Tool\\"},
    // 8.3 names turned off on the volume: GetShortPathNameW gives the long path back.
    {"WithoutAnEightDotThreeNameStaysLong", kCyrillic, {{kCyrillic, kCyrillic}}, true, kCyrillic, kCyrillic},
    // GetShortPathNameW fails (access denied under WindowsApps, or nothing there).
    {"WhenTheShortFormCannotBeHadStaysLong", kCyrillic, {}, true, kCyrillic, kCyrillic},
    // Text that names no file is forwarded as it is, whatever a file of that name would get.
    {"ArgumentNamingNothingStaysAsItIs", L"Привет", {{L"Привет", L"8E3B~1"}}, false, L"8E3B~1", L"Привет"},
    {"ArgumentBeginningWithAQuoteStaysAsItIs", L"\"Привет\" tail", {{L"\"Привет\" tail", L"X~1"}}, true, L"X~1",
     L"\"Привет\" tail"},
};

INSTANTIATE_TEST_SUITE_P(Paths, JavaForm, ::testing::ValuesIn(kJavaForms),
                         [](const auto& info) { return std::string(info.param.name); });

// What a Java launcher reads whole in each system code page. With UTF-8 (65001) only ASCII is: a
// Java before 11.0.17, 17.0.5 and 19 garbles the rest.
TEST(JavaReads, OnlyWhatTheCodePageHoldsAndOnlyAsciiUnderUtf8)
{
    const struct {
        unsigned codePage;
        const wchar_t* text;
        bool readable;
    } rows[] = {
        {1252, L"C:\\Users\\Jürgen Café", true},   {1252, L"C:\\Users\\Дмитрий", false},
        {1252, L"Zażółć", false},                     {1251, L"C:\\Users\\Дмитрий", true},
        {65001, L"C:\\Users\\Jürgen Café", false}, {65001, L"C:\\Users\\Дмитрий", false},
        {65001, L"C:\\Users\\JRGENC~1\\", true},   {65001, L"", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReadableInCodePage(row.codePage, row.text), row.readable) << row.codePage;
}

TEST(LaunchSequence, InstallDirectoryJavaCannotReadIsHandedOverInItsShortForm)
{
    for (bool bundled : {false, true}) {
        FakePlatform p;
        p.installDir = L"C:\\Users\\Дмитрий\\Tool\\";
        p.line = L"launcher.exe C:\\Users\\Дмитрий\\Documents";
        p.probeOutput = bundled ? "java version \"1.6.0_45\"" : "java version \"1.8.0_281\"";
        p.programs[L"java.exe"] = L"C:\\Программы\\Java\\bin\\java.exe";
        p.shortForms = {{L"C:\\Users\\Дмитрий\\Tool\\", L"C:\\Users\\D8F2~1\\Tool\\"},
                        {L"C:\\Users\\Дмитрий\\Documents", L"C:\\Users\\D8F2~1\\DOCUME~1"},
                        {L"C:\\Программы\\Java\\bin\\java.exe", L"C:\\9A2B~1\\Java\\bin\\java.exe"},
                        {L"C:\\Программы\\Java\\bin\\javaw.exe", L"C:\\9A2B~1\\Java\\bin\\javaw.exe"}};
        const std::wstring longDir = L"C:\\Users\\Дмитрий\\Tool\\";
        p.existing = {longDir + L"jre\\bin\\javaw.exe", longDir + L"security\\cacerts",
                      L"C:\\Users\\Дмитрий\\Documents", L"C:\\Программы\\Java\\bin\\javaw.exe"};
        EXPECT_EQ(RunLauncher(p), kExitChildEnded);

        const std::wstring dir = L"C:\\Users\\D8F2~1\\Tool\\";
        const std::wstring program = bundled ? dir + L"jre\\bin\\javaw.exe" : L"C:\\9A2B~1\\Java\\bin\\javaw.exe";
        EXPECT_EQ(*p.probedJava, L"C:\\9A2B~1\\Java\\bin\\java.exe");
        EXPECT_EQ(*p.childProgram, program);
        // Every path on the line is the short form: nothing Java cannot read reaches it.
        EXPECT_EQ(p.childLine->find_first_of(L"ДмитрийПрограммы"), std::wstring::npos) << std::string(p.childLine->begin(), p.childLine->end());
        EXPECT_NE(p.childLine->find(L"-DSorvaneInstallPath=\"" + dir + L"\\\""), std::wstring::npos);
        EXPECT_TRUE(p.childLine->ends_with(L" \"C:\\Users\\D8F2~1\\DOCUME~1\""));
        // The launcher's own checks keep the long paths, and the log is the usual one.
        for (const std::wstring& checked : p.fileChecks)
            EXPECT_EQ(p.existing.count(checked), 1u) << std::string(checked.begin(), checked.end());
        EXPECT_EQ(p.records.size(), 6u);
        EXPECT_EQ(p.echoes.back(), *p.childLine);
    }
}

}  // namespace
}  // namespace sorvane
