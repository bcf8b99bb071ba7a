#include "tests/e2e/harness/launcher_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <set>
#include <stdexcept>

namespace sorvane::e2e {

namespace {

std::wstring besideTests(const wchar_t* name) { return joinPath(thisModuleDirectory(), name); }

std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

void placeStub(const std::wstring& dir, const std::wstring& source, const wchar_t* exe, const wchar_t* scriptName,
               const std::string& script) {
    copyFile(source, joinPath(dir, exe));
    const std::wstring scriptPath = joinPath(dir, scriptName);
    if (script.empty())
        removeFile(scriptPath);
    else
        writeFile(scriptPath, script);
}

std::uint64_t toNumber(const std::wstring& field) {
    if (field.empty() || field.find_first_not_of(L"0123456789") != std::wstring::npos)
        throw std::runtime_error("javaw record: not a number: " + narrow(field));
    return std::stoull(field);
}

bool digitsIn(std::string_view s, std::size_t at, std::size_t n, int low, int high) {
    int value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return value >= low && value <= high;
}

bool isTimestamp(std::string_view s) {
    return s.size() == 19 && digitsIn(s, 0, 4, 1601, 9999) && s[4] == '-' && digitsIn(s, 5, 2, 1, 12) && s[7] == '-' &&
           digitsIn(s, 8, 2, 1, 31) && s[10] == ' ' && digitsIn(s, 11, 2, 0, 23) && s[13] == ':' &&
           digitsIn(s, 14, 2, 0, 59) && s[16] == ':' && digitsIn(s, 17, 2, 0, 59);
}

}  // namespace

std::wstring builtLauncherPath() { return fullPath(joinPath(thisModuleDirectory(), L"..\\launcher.exe")); }
std::wstring builtCheckPath() { return fullPath(joinPath(thisModuleDirectory(), L"..\\launcher-check.exe")); }
std::wstring javaStubPath() { return besideTests(L"java.exe"); }
std::wstring javawStubPath() { return besideTests(L"javaw.exe"); }
std::wstring showBoxPath() { return besideTests(L"show_box.exe"); }

// ---- StubScript ----

StubScript& StubScript::out(std::string_view bytes) {
    text_ += "out " + hex(bytes) + "\n";
    return *this;
}
StubScript& StubScript::err(std::string_view bytes) {
    text_ += "err " + hex(bytes) + "\n";
    return *this;
}
StubScript& StubScript::sleep(DWORD ms) {
    text_ += "sleep " + std::to_string(ms) + "\n";
    return *this;
}
StubScript& StubScript::hang() {
    text_ += "hang\n";
    return *this;
}
StubScript& StubScript::javaVersion(std::string_view version, bool toStdout) {
    const std::string v(version);
    const std::string text = "java version \"" + v + "\"\r\n" + "Java(TM) SE Runtime Environment (build " + v +
                             "-b09)\r\n" + "Java HotSpot(TM) 64-Bit Server VM (build 25.281-b09, mixed mode)\r\n";
    return toStdout ? out(text) : err(text);
}

void placeJavaStub(const std::wstring& dir, const std::string& script) {
    placeStub(dir, javaStubPath(), L"java.exe", stub::kJavaScriptFile, script);
}

void placeJavawStub(const std::wstring& dir, const std::string& script) {
    placeStub(dir, javawStubPath(), L"javaw.exe", stub::kJavawScriptFile, script);
}

// ---- stub records ----

std::vector<JavawRun> parseJavawRecords(std::string_view bytes) {
    if (bytes.size() % sizeof(wchar_t) != 0) throw std::runtime_error("javaw record: odd number of bytes");
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), bytes.size());
    if (!text.empty() && text.back() != L'\0') throw std::runtime_error("javaw record: cut short");

    std::vector<std::wstring> fields;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find(L'\0', start);
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }

    std::vector<JavawRun> runs;
    std::size_t i = 0;
    const auto next = [&]() -> const std::wstring& {
        if (i >= fields.size()) throw std::runtime_error("javaw record: cut short");
        return fields[i++];
    };
    while (i < fields.size()) {
        const std::wstring marker = next();
        if (marker == stub::kRunMarker) {
            JavawRun run;
            run.processId = static_cast<DWORD>(toNumber(next()));
            run.commandLine = next();
            const std::uint64_t argc = toNumber(next());
            for (std::uint64_t a = 0; a < argc; ++a) run.argv.push_back(next());
            run.ansiCommandLine = next();
            for (std::optional<bool>* opens : {&run.javaOpens.jar, &run.javaOpens.trustStore,
                                               &run.javaOpens.installPath, &run.javaOpens.argument}) {
                const std::wstring& field = next();
                if (!field.empty()) *opens = field == L"1";
            }
            runs.push_back(std::move(run));
        } else if (marker == stub::kEndMarker) {
            const auto pid = static_cast<DWORD>(toNumber(next()));
            const std::uint64_t ended = toNumber(next());
            const auto exitCode = static_cast<DWORD>(toNumber(next()));
            auto it = std::find_if(runs.rbegin(), runs.rend(),
                                   [&](const JavawRun& r) { return r.processId == pid && !r.finished; });
            if (it == runs.rend()) throw std::runtime_error("javaw record: an end without its run");
            it->finished = true;
            it->ended = ended;
            it->exitCode = exitCode;
        } else {
            throw std::runtime_error("javaw record: unknown marker " + narrow(marker));
        }
    }
    return runs;
}

StubActivity readStubActivity(const std::wstring& dir) {
    StubActivity activity;
    if (const auto ran = readFile(joinPath(dir, stub::kJavaRanFile))) {
        std::string_view rest = *ran;
        while (!rest.empty()) {
            const auto eol = rest.find('\n');
            const std::string_view line = rest.substr(0, eol);
            const auto tab = line.find('\t');
            if (tab == std::string_view::npos) throw std::runtime_error("java-ran.txt: no console count");
            activity.probeConsoleProcesses.push_back(static_cast<DWORD>(std::stoul(std::string(line.substr(0, tab)))));
            activity.probes.push_back(widen(line.substr(tab + 1)));
            rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        }
    }
    if (const auto record = readFile(joinPath(dir, stub::kJavawRecordFile)))
        activity.javawRuns = parseJavawRecords(*record);
    return activity;
}

void clearStubActivity(const std::wstring& dir) {
    removeFile(joinPath(dir, stub::kJavaRanFile));
    removeFile(joinPath(dir, stub::kJavawRecordFile));
}

// ---- log records ----

std::vector<LogRecord> splitLogRecords(std::string_view bytes) {
    std::vector<LogRecord> records;
    const auto add = [&](std::string_view raw, bool terminated) {
        LogRecord record;
        record.raw = std::string(raw);
        record.terminated = terminated;
        record.wellFormed = raw.size() >= 23 && isTimestamp(raw.substr(0, 19)) && raw.substr(19, 4) == "    ";
        if (record.wellFormed) {
            record.timestamp = std::string(raw.substr(0, 19));
            record.message = std::string(raw.substr(23));
        }
        records.push_back(std::move(record));
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') continue;
        add(bytes.substr(start, i - start), true);
        start = i + 1;
    }
    if (start < bytes.size()) add(bytes.substr(start), false);
    return records;
}

std::wstring todayLogName() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t name[32];
    swprintf(name, 32, L"%04u-%02u-%02u.log", t.wYear, t.wMonth, t.wDay);
    return name;
}

// ---- LaunchResult ----

bool LaunchResult::probeRan() const {
    return std::any_of(stubs.begin(), stubs.end(), [](const StubActivity& a) { return !a.probes.empty(); });
}

std::vector<JavawRun> LaunchResult::allJavawRuns() const {
    std::vector<JavawRun> all;
    for (const StubActivity& a : stubs) all.insert(all.end(), a.javawRuns.begin(), a.javawRuns.end());
    return all;
}

// ---- Sandbox ----

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> serial{0};
    wchar_t temp[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, temp)) throwLastError("GetTempPathW");
    // Windows writes TEMP in 8.3 form where it can (C:\Users\RUNNER~1\...) but names a program run
    // from there in its long form (QueryFullProcessImageNameW): the root is the long form. The tick
    // count keeps names distinct across runs even when Wine hands out the same process id again.
    path_ = joinPath(longForm(fullPath(temp)), L"sorvane-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                                   std::to_wstring(++serial) + L"-" +
                                                   std::to_wstring(GetTickCount64() % 1000000));
    createDirectories(path_);
}

ScratchDir::~ScratchDir() {
    try {
        killProcesses(processesUnder(path_));
    } catch (const std::exception& e) {
        std::printf("[ scratch  ] %s\n", e.what());
    }
    if (environmentVariable(L"SORVANE_KEEP_TEMP")) {
        std::printf("[ scratch  ] kept %s\n", narrow(path_).c_str());
        return;
    }
    if (!removeTree(path_)) std::printf("[ scratch  ] could not remove %s\n", narrow(path_).c_str());
}

Sandbox::Sandbox(SandboxOptions options) : options_(std::move(options)) {
    const std::wstring launcher = builtLauncherPath();
    if (!exists(launcher)) throw std::runtime_error("launcher.exe has not been built: " + narrow(launcher));
    installDir_ = joinPath(root(), options_.installName);
    profileDir_ = joinPath(root(), options_.profileName);
    createDirectories(installDir_);
    createDirectories(profileDir_);
    createDirectories(dir(StubDir::Java));
    createDirectories(dir(StubDir::Cwd));
    copyFile(launcher, launcherPath());
    if (options_.jar) writeFile(joinPath(installDir_, kJarName), "PK\x03\x04 placeholder jar");
    if (options_.cacerts) writeFile(joinPath(installDir_, L"security\\cacerts"), "placeholder trust store");
    for (const auto& [where, setup] : options_.stubs) setStubs(where, setup);
}

Sandbox::~Sandbox() = default;

std::wstring Sandbox::logDir() const { return joinPath(profileDir_, L".sorvane\\logs\\launcher"); }

std::wstring Sandbox::launcherPath() const { return joinPath(installDir_, L"launcher.exe"); }

std::wstring Sandbox::dir(StubDir dir) const {
    switch (dir) {
        case StubDir::Install:
            return installDir_;
        case StubDir::Jre:
            return joinPath(installDir_, L"jre\\bin");
        case StubDir::Java:
            return joinPath(root(), options_.javaDirName);
        case StubDir::Cwd:
            return joinPath(root(), L"cwd");
    }
    throw std::logic_error("unknown StubDir");
}

void Sandbox::setStubs(StubDir where, const StubSetup& setup) {
    const std::wstring d = dir(where);
    createDirectories(d);
    if (setup.java) {
        placeJavaStub(d, setup.javaScript);
    } else {
        removeFile(joinPath(d, L"java.exe"));
        removeFile(joinPath(d, stub::kJavaScriptFile));
    }
    if (setup.javaw) {
        placeJavawStub(d, setup.javawScript);
    } else {
        removeFile(joinPath(d, L"javaw.exe"));
        removeFile(joinPath(d, stub::kJavawScriptFile));
    }
}

std::wstring Sandbox::commandLineFor(const RunOptions& options) const {
    if (options.commandLine) return *options.commandLine;
    std::wstring line = L"\"" + options.program.value_or(launcherPath()) + L"\"";
    if (!options.args.empty()) line += L" " + options.args;
    return line;
}

std::vector<std::wstring> Sandbox::environmentFor(const RunOptions& options) const {
    std::vector<std::wstring> env = currentEnvironment();
    setVariable(env, L"USERPROFILE", profileDir_);

    wchar_t system[MAX_PATH];
    wchar_t windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring path = std::wstring(system) + L";" + windows;
    if (options.javaDirOnPath) path = dir(StubDir::Java) + L";" + path;
    setVariable(env, L"PATH", path);

    for (const auto& [name, value] : options.env) setVariable(env, name, value);
    return env;
}

LaunchResult Sandbox::run(const RunOptions& options) {
    for (const StubDir d : kAllStubDirs) clearStubActivity(dir(d));

    LaunchResult result;
    std::set<HWND> pressed;
    ProcessOptions process;
    process.application = options.program.value_or(launcherPath());
    process.commandLine = commandLineFor(options);
    process.env = environmentFor(options);
    process.currentDirectory = options.currentDirectory.value_or(dir(StubDir::Cwd));
    process.timeoutMs = options.timeoutMs;
    // As the desktop shell starts it: with no console of its own. Started by a console program (a
    // test), it would share that console with its console children.
    process.creationFlags = DETACHED_PROCESS;
    process.outputEndWaitMs = options.outputEndWaitMs;
    process.desktop = options.desktop;
    process.whileWaiting = [&](DWORD pid) {
        if (options.whileRunning) options.whileRunning();
        // Every box the launcher shows is pressed OK and recorded. Forget closed boxes: a later
        // box may be given a closed one's handle.
        std::erase_if(pressed, [](HWND h) { return !IsWindow(h); });
        const auto box = findMessageBox(nullptr, pid);
        if (!box || pressed.contains(box->window)) return;
        result.boxes.push_back({box->caption, box->text});
        pressOk(box->window);
        pressed.insert(box->window);
    };

    const ProcessRun run = runProcess(process);
    if (run.timedOut)
        ADD_FAILURE() << "the launcher did not end within " << options.timeoutMs << " ms and was killed; "
                      << "command line: " << narrow(process.commandLine);
    result.exitCode = run.exitCode;
    result.timedOut = run.timedOut;
    result.elapsed = run.elapsed;
    result.ended = run.exited;
    result.out = run.out;
    result.outputEnded = run.outputEnded;
    result.err = run.err;

    result.strays = stillRunning(processesUnder(root()), options.straysGraceMs);
    killProcesses(result.strays);

    for (const StubDir d : kAllStubDirs) result.stubs[static_cast<std::size_t>(d)] = readStubActivity(dir(d));
    for (const std::wstring& name : listFiles(logDir(), L"*.log")) {
        LogFile file{name, readFile(joinPath(logDir(), name)).value_or(std::string())};
        result.log += file.bytes;
        result.logFiles.push_back(std::move(file));
    }
    return result;
}

// ---- LauncherTest ----

Sandbox& LauncherTest::layOut(SandboxOptions options) {
    sandbox_.reset();
    sandbox_ = std::make_unique<Sandbox>(std::move(options));
    return *sandbox_;
}

void LauncherTest::TearDown() { sandbox_.reset(); }

}  // namespace sorvane::e2e
