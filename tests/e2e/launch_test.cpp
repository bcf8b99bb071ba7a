// The launch sequence end to end: the real launcher.exe in a throw-away install, with stub Java
// programs standing in for the machine's runtime and the bundled one.
#include "tests/e2e/harness/launcher_fixture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sorvane::e2e {
namespace {

const char kStart[] = "Starting Sorvane Launcher...";
const char kSystem[] = "System JRE version >= 1.7, using system JRE";
const char kBundled[] = "System JRE not found, or JRE version < 1.7,  using bundled JRE";
const char kCert[] = "Find cert file,Starting Sorvane Launcher with -Djavax.net.ssl.trustStore...";
const char kStarted[] = "Sorvane Launcher started";
const char kNoBundled[] = "Bundled JRE not found";
const char kCannotStart[] = "Sorvane Launcher cannot be started. Please install JRE.";

std::vector<std::string> Messages(const LaunchResult& r)
{
    std::vector<std::string> messages;
    for (const LogRecord& record : r.logRecords()) {
        EXPECT_TRUE(record.wellFormed && record.terminated) << record.raw;
        messages.push_back(record.message);
    }
    return messages;
}

StubSetup SystemJava(const std::string& script, const std::string& javawScript = {})
{
    return {.java = true, .javaw = true, .javaScript = script, .javawScript = javawScript};
}

StubSetup BundledJava(const std::string& javawScript = {})
{
    return {.javaw = true, .javawScript = javawScript};
}

class LaunchSequence : public LauncherTest {};

TEST_F(LaunchSequence, TypicalRunUsesTheSystemRuntimeWithTheTrustStore)
{
    Sandbox& s = layOut({.cacerts = true, .stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281"))}}});
    LaunchResult r = s.run({.args = L"ARG"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, "System java version: 1.8.0_281", kSystem, kCert, kStarted}));
    const auto& probes = r.at(StubDir::Java).probes;
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0], L"java -version");
    // Started from the desktop the launcher has no console; the probe must not get one of its own.
    EXPECT_EQ(r.at(StubDir::Java).probeConsoleProcesses, std::vector<DWORD>{0});

    const auto& runs = r.at(StubDir::Java).javawRuns;
    ASSERT_EQ(runs.size(), 1u);
    // As handed over: in its 8.3 form where the code page cannot write it (a profile's %TEMP%).
    const std::wstring dir = runs[0].argv.at(2).substr(std::size(L"-DSorvaneInstallPath=") - 1);
    EXPECT_TRUE(sameFile(dir, s.installDir())) << narrow(dir);
    EXPECT_EQ(runs[0].argv, (std::vector<std::wstring>{L"javaw.exe ", L"-Djavax.net.ssl.trustStore=" + dir + L"security\\cacerts",
                                                      L"-DSorvaneInstallPath=" + dir, L"-jar",
                                                      dir + L"getdown-launcher-1.8.6.jar", L"ARG"}));
}

const std::string kLongPickedUpLine = "Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=\"UTF-8\" -javaagent:C:\\agent.jar=" +
                                     std::string(2000, 'x') + "\r\n";

// What only a real pipe shows: where java writes, in how many pieces, and how much. What the
// version found means is the unit tests' table of outputs.
struct ProbeCase {
    const char* name;
    std::string javaScript;
    const char* statusRecord;
    bool system;
};

class ProbeReading : public LauncherTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeReading, GivesTheVersionJavaWrote)
{
    const ProbeCase& c = GetParam();
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(c.javaScript)}, {StubDir::Jre, BundledJava()}}});
    LaunchResult r = s.run({.args = L"ARG"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, c.statusRecord, c.system ? kSystem : kBundled, kStarted}));
    EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), c.system ? 1u : 0u);
    EXPECT_EQ(r.at(StubDir::Jre).javawRuns.size(), c.system ? 0u : 1u);
}

const ProbeCase kProbes[] = {
    {"OnStandardError", StubScript().javaVersion("1.7.0_80"), "System java version: 1.7.0_80", true},
    {"OnStandardOutput", StubScript().javaVersion("1.8.0_281", true), "System java version: 1.8.0_281", true},
    {"SilentJavaIsNoRuntime", StubScript(), "System java version: JRE not found", false},
    {"TwoPiecesAreJoined", StubScript().err("java version \"1.8").sleep(400).err(".0_281\"\r\nJava(TM) SE\r\n"),
     "System java version: 1.8.0_281", true},
    // What monitoring agents print: kilobytes of options, quotes among them, before the version.
    {"LongPickedUpLineInOneWrite", StubScript().err(kLongPickedUpLine + "java version \"1.8.0_281\"\r\n"),
     "System java version: 1.8.0_281", true},
    {"LongPickedUpLineThenTheVersion", StubScript().err(kLongPickedUpLine).sleep(300).javaVersion("11.0.2"),
     "System java version: 11.0.2", true},
};

INSTANTIATE_TEST_SUITE_P(Pipes, ProbeReading, ::testing::ValuesIn(kProbes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LaunchSequence, NoJavaOnPathUsesTheBundledRuntime)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281"))},
                                   {StubDir::Jre, BundledJava()}}});
    LaunchResult r = s.run({.args = L"ARG", .javaDirOnPath = false});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, "System java version: JRE not found", kBundled, kStarted}));
    EXPECT_FALSE(r.probeRan());
    ASSERT_EQ(r.at(StubDir::Jre).javawRuns.size(), 1u);
    // The bundled javaw.exe itself; no trust store, so no field for it.
    const std::vector<std::wstring>& argv = r.at(StubDir::Jre).javawRuns[0].argv;
    EXPECT_TRUE(sameFile(argv.at(0), s.dir(StubDir::Jre) + L"\\javaw.exe")) << narrow(argv.at(0));
    EXPECT_EQ(argv.size(), 5u);
}

TEST_F(LaunchSequence, NoRuntimeAtAllLogsTheFailureAndShowsTheBox)
{
    if (const auto why = whyNoInteractiveDesktop()) GTEST_SKIP() << *why;
    Sandbox& s = layOut({.cacerts = true, .stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.6.0_45"))}}});
    LaunchResult r = s.run({.args = L"ARG"});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, "System java version: 1.6.0_45", kBundled, kNoBundled, kCannotStart}));
    EXPECT_TRUE(r.allJavawRuns().empty());
    if (r.boxes.empty())
        GTEST_SKIP() << "no display: the message box could not be shown";
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, L"Running java version:");
    EXPECT_EQ(r.boxes[0].text, L"Sorvane Launcher cannot be started. Please install JRE.");
}

// Deployment agents, services and tasks that run whether or not anyone is logged on start the launcher
// on a window station that is not interactive. With no runtime no one could ever see or dismiss
// the box there, so the launcher must end rather than wait on it; with Java it runs as anywhere.
TEST_F(LaunchSequence, OnAWindowStationNoOneSeesTheLauncherNeverWaitsOnABox)
{
    const NonInteractiveStation station;
    ASSERT_TRUE(whyNoInteractiveDesktop(station.station())) << "the harness's station is interactive";
    const struct {
        const char* name;
        std::map<StubDir, StubSetup> stubs;
        DWORD exitCode;
        std::vector<std::string> records;
        std::size_t javawRuns;
    } cases[] = {
        {"no runtime", {{StubDir::Java, SystemJava(StubScript().javaVersion("1.6.0_45"))}}, 1,
         {kStart, "System java version: 1.6.0_45", kBundled, kNoBundled, kCannotStart}, 0},
        {"system Java", {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281"))}}, 0,
         {kStart, "System java version: 1.8.0_281", kSystem, kStarted}, 1},
    };
    for (const auto& c : cases) {
        Sandbox& s = layOut({.stubs = c.stubs});
        LaunchResult r = s.run({.args = L"ARG", .timeoutMs = 15000, .desktop = station.desktop()});
        EXPECT_LT(r.elapsed.count(), 5000) << c.name;
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(Messages(r), c.records) << c.name;
        EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), c.javawRuns) << c.name;
        EXPECT_TRUE(r.boxes.empty()) << c.name << ": the launcher ran on the harness's own desktop";
    }
}

TEST_F(LaunchSequence, HangingJavaIsGivenUpAfterTheTimeOutAndLeftNoProcess)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().hang())}, {StubDir::Jre, BundledJava()}}});
    LaunchResult r = s.run({.args = L"ARG", .timeoutMs = 40000, .straysGraceMs = 2000});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_GE(r.elapsed.count(), 14000);
    EXPECT_LE(r.elapsed.count(), 25000);
    EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, "System java version: JRE not found", kBundled, kStarted}));
    EXPECT_EQ(r.at(StubDir::Jre).javawRuns.size(), 1u);
    EXPECT_TRUE(r.strays.empty()) << "a probe outlived the launcher";
}

TEST_F(LaunchSequence, JavaThatLingersAfterAnsweringIsNotWaitedFor)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281").sleep(6000))}}});
    LaunchResult r = s.run({.args = L"ARG", .straysGraceMs = 0});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_LT(r.elapsed.count(), 5000);
    EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
}

TEST_F(LaunchSequence, ChildIsWaitedForBeforeTheLastRecord)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281"), "sleep 2500\nexit 7\n")}}});
    LaunchResult r = s.run({.args = L"ARG"});
    EXPECT_EQ(r.exitCode, 0u) << "the child's own status is not passed on";
    ASSERT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
    const JavawRun& child = r.at(StubDir::Java).javawRuns[0];
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 7u);
    EXPECT_GE(r.elapsed.count(), 2500);
    EXPECT_LE(child.ended, r.ended);
    EXPECT_EQ(Messages(r).back(), kStarted);
    // The last record is stamped after the child ended (to the second).
    std::vector<LogRecord> records = r.logRecords();
    EXPECT_GT(records.back().timestamp, records.front().timestamp);
}

TEST_F(LaunchSequence, ChildThatCannotStartIsReportedAndEndsWithStatus3)
{
    Sandbox& s = layOut({});
    // A bundled javaw.exe that is no program at all.
    createDirectories(s.installDir() + L"\\jre\\bin");
    writeFile(s.installDir() + L"\\jre\\bin\\javaw.exe", "not a program");
    LaunchResult r = s.run({.args = L"ARG", .javaDirOnPath = false});
    EXPECT_EQ(r.exitCode, 3u);
    std::vector<std::string> messages = Messages(r);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[2], kBundled);
    EXPECT_EQ(messages[3].rfind("Failed to start Java, error ", 0), 0u) << messages[3];
    EXPECT_NE(messages[3], "Failed to start Java, error 0");
    EXPECT_EQ(messages[4], kStarted);
}

TEST_F(LaunchSequence, ProgramsPlantedInTheCurrentDirectoryAreNeverRun)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281"))},
                                   {StubDir::Cwd, SystemJava(StubScript().javaVersion("1.6.0_45"))}}});
    const std::wstring relativeDir = s.dir(StubDir::Cwd) + L"\\tools\\bin";
    placeJavaStub(relativeDir, StubScript().javaVersion("1.6.0_45"));
    placeJavawStub(relativeDir);
    const std::wstring path = findVariable(s.environmentFor({}), L"PATH").value();
    // Not even through PATH entries that name the current directory or a place below it.
    for (const wchar_t* pathPrefix : {L"", L".;tools\\bin;"}) {
        LaunchResult r = s.run({.args = L"ARG", .env = {{L"PATH", std::wstring(pathPrefix) + path}}});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_TRUE(r.at(StubDir::Cwd).probes.empty()) << narrow(pathPrefix);
        EXPECT_TRUE(r.at(StubDir::Cwd).javawRuns.empty()) << narrow(pathPrefix);
        const StubActivity planted = readStubActivity(relativeDir);
        EXPECT_TRUE(planted.probes.empty() && planted.javawRuns.empty()) << narrow(pathPrefix);
        EXPECT_EQ(r.at(StubDir::Java).probes.size(), 1u);
        EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), 1u);
        EXPECT_EQ(Messages(r).at(1), "System java version: 1.8.0_281");
    }
}

// The machine's javaw.exe runs only from beside the java.exe whose version was checked; a Java
// with none there (as some installers leave bin\) counts as none, whatever else is on PATH.
TEST_F(LaunchSequence, SystemJavawIsTheOneBesideTheJavaThatAnswered)
{
    const struct {
        const char* name;
        bool javawBeside;
        const wchar_t* otherJavawOnPath;   // "before" or "after" the Java that answers; null: none
    } cases[] = {{"stale javaw.exe earlier on PATH", true, L"before"},
                 {"older javaw.exe later on PATH", false, L"after"},
                 {"no javaw.exe anywhere", false, nullptr}};
    for (const auto& c : cases) {
        Sandbox& s = layOut({.stubs = {{StubDir::Java, {.java = true, .javaw = c.javawBeside,
                                                         .javaScript = StubScript().javaVersion("11.0.2-BellSoft")}},
                                       {StubDir::Jre, BundledJava()}}});
        const std::wstring other = s.root() + L"\\other-javaw";
        placeJavawStub(other);
        std::wstring path = findVariable(s.environmentFor({}), L"PATH").value();
        if (c.otherJavawOnPath)
            path = std::wstring(c.otherJavawOnPath) == L"before" ? other + L";" + path : path + L";" + other;
        LaunchResult r = s.run({.args = L"ARG", .env = {{L"PATH", path}}});
        EXPECT_EQ(r.exitCode, 0u) << c.name;
        EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, "System java version: 11.0.2-BellSoft",
                                                         c.javawBeside ? kSystem : kBundled, kStarted})) << c.name;
        EXPECT_TRUE(readStubActivity(other).javawRuns.empty()) << c.name << ": a javaw.exe whose version was never checked ran";
        EXPECT_EQ(r.at(StubDir::Java).javawRuns.size(), c.javawBeside ? 1u : 0u) << c.name;
        EXPECT_EQ(r.at(StubDir::Jre).javawRuns.size(), c.javawBeside ? 0u : 1u) << c.name;
    }
}

TEST_F(LaunchSequence, CallerReadingTheOutputSeesItEndWithTheLauncherWhileTheProbeLingers)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.8.0_281").sleep(8000))}}});
    LaunchResult r = s.run({.args = L"ARG", .straysGraceMs = 0, .outputEndWaitMs = 5000});
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_TRUE(r.outputEnded) << "the launcher's output was still open 5 s after it ended: the probe holds it";
    EXPECT_LT((*r.outputEnded - r.elapsed).count(), 1500);
}

TEST_F(LaunchSequence, JavawHeldOpenForAMomentStillStarts)
{
    // As a virus scanner holds a freshly updated javaw.exe: no sharing, for 400 ms from the moment
    // the launcher has chosen the runtime, so its first try to start it is sure to fail.
    Sandbox& s = layOut({.stubs = {{StubDir::Jre, BundledJava()}}});
    const std::wstring javaw = s.dir(StubDir::Jre) + L"\\javaw.exe";
    const std::wstring log = s.logDir() + L"\\" + todayLogName();
    UniqueHandle held(CreateFileW(longPath(javaw).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held) << lastErrorMessage("CreateFileW");
    std::optional<ULONGLONG> chosenAt;
    LaunchResult r = s.run({.args = L"ARG", .javaDirOnPath = false, .whileRunning = [&] {
        if (!chosenAt && readFile(log).value_or("").find(kBundled) != std::string::npos) chosenAt = GetTickCount64();
        if (chosenAt && GetTickCount64() - *chosenAt >= 400) held.reset();
    }});
    held.reset();
    ASSERT_TRUE(chosenAt);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Messages(r), (std::vector<std::string>{kStart, "System java version: JRE not found", kBundled, kStarted}));
    EXPECT_EQ(r.at(StubDir::Jre).javawRuns.size(), 1u);
}

TEST_F(LaunchSequence, JavaBesideTheLauncherComesBeforePath)
{
    Sandbox& s = layOut({.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.6.0_45"))},
                                   {StubDir::Install, SystemJava(StubScript().javaVersion("11.0.2"))}}});
    LaunchResult r = s.run({.args = L"ARG"});
    EXPECT_EQ(Messages(r).at(1), "System java version: 11.0.2");
    EXPECT_EQ(r.at(StubDir::Install).javawRuns.size(), 1u);
    EXPECT_TRUE(r.at(StubDir::Java).javawRuns.empty());
}

// launcher-check runs the launcher's own sequence without starting anything. In each sandbox it
// runs first, then the launcher: what the check's page predicts is what the launcher then does,
// and the check itself left no log, no javaw.exe and no box behind.
struct CheckCase {
    const char* name;
    SandboxOptions sandbox;
    std::wstring args = L"ARG";
    bool javaDirOnPath = true;
    std::wstring pathPrefix;   // PATH entries before the usual ones
    const char* pageHas = "";  // a line the page must hold
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class LauncherCheck : public LauncherTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(LauncherCheck, PredictsWhatTheLauncherThenDoes)
{
    const CheckCase& c = GetParam();
    Sandbox& s = layOut(c.sandbox);
    const std::wstring check = s.installDir() + L"\\launcher-check.exe";
    copyFile(builtCheckPath(), check);
    RunOptions run{.args = c.args, .javaDirOnPath = c.javaDirOnPath,
                   .env = {{L"PATH", c.pathPrefix + findVariable(s.environmentFor({.javaDirOnPath = c.javaDirOnPath}), L"PATH").value()},
                           {L"TEMP", s.root()}, {L"TMP", s.root()}}};
    RunOptions checkRun = run;
    checkRun.program = check;
    checkRun.commandLine = quoteArgument(check) + L" " + quoteArgument(s.installDir()) + L" " + c.args;
    const LaunchResult predicted = s.run(checkRun);
    EXPECT_TRUE(predicted.logFiles.empty() && predicted.allJavawRuns().empty() && predicted.boxes.empty()) << predicted.out;

    std::map<std::string, std::string> facts;   // the page's first line of each name
    std::vector<std::string> records;
    for (size_t start = 0, end; (end = predicted.out.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = predicted.out.substr(start, end - start);
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) facts.emplace(line.substr(0, colon), line.substr(colon + 2));
        if (line.starts_with("record ")) records.push_back(line.substr(colon + 2));
    }
    const LaunchResult r = s.run(run);
    EXPECT_EQ(predicted.exitCode, r.exitCode) << predicted.out;
    EXPECT_TRUE(facts["verdict"].ends_with("; exit status " + std::to_string(r.exitCode))) << facts["verdict"];
    EXPECT_EQ(records, Messages(r)) << predicted.out;
    const std::vector<JavawRun> ran = r.allJavawRuns();
    ASSERT_EQ(ran.size(), facts["program"] == "none" ? 0u : 1u) << predicted.out;
    if (!ran.empty()) {
        EXPECT_EQ(widen(facts["command line"]), ran[0].commandLine);
        const StubDir where = r.at(StubDir::Jre).javawRuns.empty() ? StubDir::Java : StubDir::Jre;
        EXPECT_TRUE(sameFile(widen(facts["program"]), s.dir(where) + L"\\javaw.exe")) << facts["program"];
    }
    EXPECT_NE(predicted.out.find(c.pageHas), std::string::npos) << predicted.out;
}

const StubSetup kJava8 = {.java = true, .javaw = true, .javaScript = StubScript().javaVersion("1.8.0_281")};
const CheckCase kChecks[] = {
    {"TypicalRun", {.cacerts = true, .stubs = {{StubDir::Java, kJava8}}}, L"ARG", true, L"", "runtime: system"},
    {"BundledRuntime", {.stubs = {{StubDir::Jre, BundledJava()}}}, L"ARG", false, L"", "java.exe: not found"},
    {"NoRuntime", {.stubs = {{StubDir::Java, SystemJava(StubScript().javaVersion("1.6.0_45"))}}}, L"ARG", true, L"",
     "box: \"Sorvane Launcher cannot be started. Please install JRE.\""},
    {"JavaWithoutJavaw",
     {.stubs = {{StubDir::Java, {.java = true, .javaScript = StubScript().javaVersion("11.0.2")}}, {StubDir::Jre, BundledJava()}}},
     L"ARG", true, L"", "runtime: bundled: no javaw.exe beside java.exe"},
    {"PathsJavaCannotRead", {.installName = L"Дмитрий हिन्दी", .cacerts = true, .stubs = {{StubDir::Java, kJava8}}}, L"ARG"},
    {"LookAlikes", {.stubs = {{StubDir::Java, kJava8}}}, L"\"a\uFF02 -x b\uFF3C\""},
    {"ProbeAnswersLate", {.stubs = {{StubDir::Java, SystemJava(StubScript().sleep(1500).javaVersion("17"))}}}, L"ARG", true,
     L"", "version check: 17 >= 1.7"},
    {"RelativePathEntries", {.stubs = {{StubDir::Java, kJava8}, {StubDir::Cwd, SystemJava(StubScript().javaVersion("1.6.0_45"))}}},
     L"ARG", true, L".;%JAVA_HOME%\\bin;", "(PATH entry 2): skipped: not fully qualified (an unexpanded variable)"},
};

INSTANTIATE_TEST_SUITE_P(Sandboxes, LauncherCheck, ::testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sorvane::e2e
