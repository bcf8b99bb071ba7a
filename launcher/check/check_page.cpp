#include "launcher/check/check_page.h"

#include <windows.h>

#include <cstddef>

#include "launcher/handle.h"
#include "launcher/install_layout.h"
#include "launcher/java_version.h"
#include "launcher/launch_sequence.h"
#include "launcher/log/log_record.h"
#include "launcher/win32_environment.h"
#include "launcher/win32_files.h"

namespace sorvane::check {
namespace {

// The probe output lines shown, and how much of the day's log is read for its last run.
constexpr size_t kProbeLinesShown = 20;
constexpr DWORD kLogTailBytes = 65536;
constexpr char kStartRecord[] = "Starting Sorvane Launcher...";

class Page {
public:
    Page& put(const wchar_t* text)
    {
        text_.append(text);
        return *this;
    }
    Page& put(const WideBuffer& text)
    {
        text_.append(text);
        return *this;
    }
    Page& number(unsigned long long value)
    {
        appendDecimal(text_, value);
        return *this;
    }
    // Text in the ANSI code page, as Java prints it and as the log holds it.
    Page& ansi(const char* bytes, size_t count)
    {
        int length = count && count < 0x7fffffff
                         ? MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(count), nullptr, 0)
                         : 0;
        WideBuffer wide;
        if (length > 0 && wide.reserve(static_cast<size_t>(length))) {
            MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(count), wide.data(), length);
            wide.setSize(static_cast<size_t>(length));
        }
        return put(wide);
    }
    Page& ansi(const char* text) { return ansi(text, ByteBuffer::length(text)); }
    Page& fact(const wchar_t* name)
    {
        text_.append(name);
        text_.append(L": ");
        return *this;
    }
    void end() { text_.append(L"\r\n"); }
    void heading(const wchar_t* title)
    {
        text_.append(L"\r\n[");
        text_.append(title);
        text_.append(L"]\r\n");
    }
    WideBuffer take() { return static_cast<WideBuffer&&>(text_); }

private:
    WideBuffer text_;
};

bool startsWith(const char* text, const char* prefix)
{
    while (*prefix && *text == *prefix) {
        ++text;
        ++prefix;
    }
    return *prefix == 0;
}

// A version number as the launcher compares it, to three decimals at most: 1.8, 11, 0.
void putVersionNumber(Page& page, double value)
{
    unsigned long long thousandths = value > 0 && value < 1e12 ? static_cast<unsigned long long>(value * 1000 + 0.5) : 0;
    page.number(thousandths / 1000);
    unsigned fraction = static_cast<unsigned>(thousandths % 1000);
    if (fraction == 0)
        return;
    wchar_t digits[4] = {static_cast<wchar_t>(L'0' + fraction / 100), static_cast<wchar_t>(L'0' + fraction / 10 % 10),
                         static_cast<wchar_t>(L'0' + fraction % 10), 0};
    for (int last = 2; last >= 0 && digits[last] == L'0'; --last)
        digits[last] = 0;
    page.put(L".").put(digits);
}

void putPresence(Page& page, CheckPlatform& platform, const WideBuffer& path)
{
    page.put(path).put(platform.fileExists(path.c_str()) ? L": present" : L": not there").end();
}

// Which runtime the launcher chose, as its own records say: the page explains the choice, it does
// not make it again.
enum class Choice { None, System, Bundled };

Choice choiceIn(const ByteBuffer& records)
{
    for (const char* line = records.c_str(); *line;) {
        if (startsWith(line, "System JRE version >= 1.7"))
            return Choice::System;
        if (startsWith(line, "System JRE not found, or JRE version < 1.7"))
            return Choice::Bundled;
        while (*line && *line++ != '\n') {
        }
    }
    return Choice::None;
}

// Why the bundled runtime was taken, read off what the run found.
const wchar_t* whyBundled(CheckPlatform& platform, bool versionFound, double version)
{
    if (platform.java.empty())
        return L"no java.exe on the program search";
    if (!platform.probeAnswered)
        return L"java.exe did not answer in time, or could not be started";
    if (!versionFound)
        return L"java.exe printed no version";
    if (version < SYSTEM_JAVA_MIN_VERSION)
        return L"the version is older than 1.7";
    return L"no javaw.exe beside java.exe";
}

void putVerdict(Page& page, CheckPlatform& platform, int exitStatus, bool bundled)
{
    page.fact(L"verdict");
    if (exitStatus == kExitChildEnded) {
        page.put(L"would start ").put(platform.childProgram).put(bundled ? L" (the bundled runtime)" : L" (the system runtime)");
    } else if (exitStatus == kExitNoRuntime) {
        page.put(L"nothing would start: no runtime (no usable Java 1.7 or later, and no bundled jre\\bin\\javaw.exe)");
    } else if (exitStatus == kExitNoArgument) {
        page.put(L"nothing would start: no argument to forward");
    } else if (startsWith(platform.lastRecord.c_str(), "Install directory not found")) {
        page.put(L"nothing would start: the install directory is not a fully qualified path");
    } else if (startsWith(platform.lastRecord.c_str(), "Command line too long")) {
        page.put(L"nothing would start: Java's command line would be longer than Windows takes");
    } else {
        page.put(L"would not start: Windows would refuse ").put(platform.childProgram).put(L" as a program");
    }
    page.put(L"; exit status ").number(static_cast<unsigned>(exitStatus)).end();
}

void putProbe(Page& page, CheckPlatform& platform, const ByteBuffer& versionText, bool versionFound)
{
    page.heading(L"probe");
    if (!platform.probeRan) {
        page.fact(L"probe").put(L"not run: no java.exe found").end();
        return;
    }
    page.fact(L"probe").put(platform.probeStarted).put(L" -version").end();
    page.fact(L"probe time").number(platform.probeMs).put(L" ms (the launcher waits at most ").number(kProbeTimeoutMs).put(L" ms)").end();
    if (!platform.probeAnswered) {
        page.fact(L"probe answer").put(platform.probeMs >= kProbeTimeoutMs ? L"none in time: java.exe was ended, and counts as no Java"
                                                                          : L"none: java.exe could not be started").end();
        return;
    }
    // As received, up to the first zero byte, which ends the text for the launcher too.
    const char* output = platform.probeOutput.c_str();
    size_t length = ByteBuffer::length(output);
    size_t lines = 0;
    for (size_t start = 0; start < length;) {
        size_t end = start;
        while (end < length && output[end] != '\n')
            ++end;
        size_t shown = end > start && output[end - 1] == '\r' ? end - start - 1 : end - start;
        if (++lines <= kProbeLinesShown) {
            page.put(L"probe line ").number(lines);
            page.put(startsWith(output + start, "Picked up ") ? L" (Picked up: options, not the version): " : L": ");
            page.ansi(output + start, shown).end();
        }
        start = end + 1;
    }
    page.fact(L"probe output").number(length).put(L" bytes, ").number(lines).put(L" lines");
    if (lines > kProbeLinesShown)
        page.put(L" (the first ").number(kProbeLinesShown).put(L" shown)");
    page.end();
    if (!versionFound) {
        page.fact(L"version text").put(L"none: no quoted version in the output (\"JRE not found\")").end();
        return;
    }
    const double version = JavaVersionNumber(versionText.c_str());
    page.fact(L"version text").ansi(versionText.c_str()).end();
    page.fact(L"version number");
    putVersionNumber(page, version);
    page.end();
    page.fact(L"version check");
    putVersionNumber(page, version);
    page.put(version >= SYSTEM_JAVA_MIN_VERSION ? L" >= 1.7 (compared with 1.699): new enough"
                                                : L" < 1.7 (compared with 1.699): too old").end();
}

// How each path reaches Java: as it is, or in its short form, and why.
void putPathForJava(Page& page, CheckPlatform& platform, const wchar_t* what, const WideBuffer& path)
{
    if (path.empty() || platform.readableByJava(path.c_str()))
        return;
    WideBuffer shortForm;
    bool hasShortForm = platform.shortPath(path.c_str(), shortForm) && !shortForm.empty() &&
                        platform.readableByJava(shortForm.c_str());
    page.fact(what).put(path);
    if (hasShortForm)
        page.put(L" -> ").put(shortForm).put(L" (the code page cannot write it; its 8.3 name goes over)");
    else
        page.put(L" (the code page cannot write it, and it has no 8.3 name: it goes over as it is)");
    page.end();
}

void putLookAlikes(Page& page, CheckPlatform& platform, const WideBuffer& text)
{
    LookAlikeTest lookAlike = platform.lookAlikeTest();
    bool any = false;
    const wchar_t* c = text.c_str();
    for (size_t i = 0; lookAlike && i < text.size(); ++i) {
        if (c[i] < 0x80 || !lookAlike(c[i]))
            continue;
        static constexpr wchar_t hex[] = L"0123456789ABCDEF";
        wchar_t code[] = {L'U', L'+', hex[c[i] >> 12 & 15], hex[c[i] >> 8 & 15], hex[c[i] >> 4 & 15], hex[c[i] & 15], L' ',
                          c[i], 0};
        page.fact(L"look-alike").put(code).put(L" in the argument -> ? (an older Java would read a quote, a backslash or a blank)").end();
        any = true;
    }
    if (!any)
        page.fact(L"look-alikes").put(L"none").end();
}

void putCommandLine(Page& page, CheckPlatform& platform, const CheckRequest& request, const InstallLayout& layout,
                    const WideBuffer& javawBeside, bool system)
{
    page.heading(L"command line");
    if (platform.childStarted) {
        page.fact(L"program").put(platform.childProgram).end();
        page.fact(L"command line").put(platform.childCommandLine).end();
    } else {
        page.fact(L"program").put(L"none").end();
    }
    const unsigned codePage = GetACP();
    page.fact(L"code page").number(codePage);
    page.put(codePage == CP_UTF8 ? L" (UTF-8: only ASCII reaches every Java whole)" : L" (Java reads its command line in it)").end();
    putPathForJava(page, platform, L"install directory", layout.installDirectory);
    putPathForJava(page, platform, L"java.exe", platform.java);
    if (system)
        putPathForJava(page, platform, L"javaw.exe", javawBeside);
    if (!platform.readableByJava(request.argument.c_str()) && platform.fileExists(request.argument.c_str()))
        putPathForJava(page, platform, L"argument", request.argument);
    putLookAlikes(page, platform, request.argument);
}

void putRecords(Page& page, CheckPlatform& platform)
{
    page.heading(L"records");
    size_t n = 0;
    const char* text = platform.records.c_str();
    for (size_t start = 0; text[start];) {
        size_t end = start;
        while (text[end] && text[end] != '\n')
            ++end;
        page.put(L"record ").number(++n).put(L": ").ansi(text + start, end - start).end();
        start = text[end] ? end + 1 : end;
    }
    page.fact(L"box");
    if (platform.boxShown)
        page.put(L"\"").put(platform.boxText).put(L"\" (caption \"").put(kNoRuntimeCaption).put(L"\")").end();
    else
        page.put(L"none").end();
}

// What a run's last record tells support.
const wchar_t* lastRecordMeaning(const char* last, bool afterFailedStart)
{
    if (startsWith(last, kStartRecord))
        return L"no argument was given, or the run was still waiting for java -version (exit status 2)";
    if (startsWith(last, "Install directory not found"))
        return L"Windows could not give the launcher its own path (exit status 3)";
    if (startsWith(last, "System java version: ") || startsWith(last, "Bundled JRE not found"))
        return L"the run was cut short";
    if (startsWith(last, "Sorvane Launcher cannot be started."))
        return L"no usable Java: the box was shown, or no one could see it (exit status 1)";
    if (startsWith(last, "Command line too long"))
        return L"Java's command line would have been longer than Windows takes (exit status 3)";
    if (startsWith(last, "Sorvane Launcher started"))
        return afterFailedStart ? L"Windows refused to start javaw.exe (exit status 3)"
                                : L"the updater ran and has ended (exit status 0)";
    if (startsWith(last, "Failed to start Java"))
        return L"the run was cut short after a failed start";
    return L"the updater was started and was still running, or the run was cut short";
}

void putLastRun(Page& page, const WideBuffer& file)
{
    UniqueHandle log(CreateFileW(FileSystemPath(file.c_str()).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    ByteBuffer bytes;
    if (!log || !GetFileSizeEx(log.get(), &size) || !bytes.reserve(kLogTailBytes))
        return;
    LARGE_INTEGER from = {};
    from.QuadPart = size.QuadPart > kLogTailBytes ? size.QuadPart - kLogTailBytes : 0;
    DWORD got = 0;
    if (!SetFilePointerEx(log.get(), from, nullptr, FILE_BEGIN) || !ReadFile(log.get(), bytes.data(), kLogTailBytes, &got, nullptr))
        return;
    bytes.setSize(got);
    // Records end in a lone carriage return; the run is the last one from its start record on.
    const char* text = bytes.data();
    size_t runStart = got;
    for (size_t start = 0, end; start < got; start = end + 1) {
        end = start;
        while (end < got && text[end] != '\r')
            ++end;
        if (end - start >= 23 && startsWith(text + start + 23, kStartRecord) && (from.QuadPart == 0 || start > 0))
            runStart = start;
    }
    if (runStart == got) {
        page.fact(L"last run").put(L"none in the last ").number(kLogTailBytes / 1024).put(L" KiB of the file").end();
        return;
    }
    size_t n = 0;
    const char* last = "";
    bool afterFailedStart = false;
    for (size_t start = runStart, end; start < got; start = end + 1) {
        end = start;
        while (end < got && text[end] != '\r')
            ++end;
        if (end - start < 23)
            continue;
        afterFailedStart = startsWith(last, "Failed to start Java");
        last = text + start + 23;
        page.put(L"last run record ").number(++n).put(L": ").ansi(text + start, end - start).end();
    }
    page.fact(L"last run ends with").ansi(last, ByteBuffer::length(last) < 80 ? ByteBuffer::length(last) : 80);
    page.put(L": ").put(lastRecordMeaning(last, afterFailedStart)).end();
}

void putLog(Page& page)
{
    page.heading(L"log");
    WideBuffer directory;
    ReadEnvironmentVariable(L"USERPROFILE", directory);
    for (const wchar_t* level : kLogDirectoryLevels)
        directory.append(level);
    DWORD attributes = GetFileAttributesW(FileSystemPath(directory.c_str()).c_str());
    bool present = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    page.fact(L"log directory").put(directory).put(present ? L": present" : L": not there (the first record creates it)").end();

    SYSTEMTIME now;
    GetLocalTime(&now);
    WideBuffer name = LogFileName({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
    WideBuffer today;
    today.append(directory).append(name);
    page.fact(L"log file today").put(name);
    // Opened as the launcher opens it, and closed at once: nothing is written, created or locked.
    UniqueHandle file(CreateFileW(FileSystemPath(today.c_str()).c_str(), FILE_READ_DATA | FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD error = GetLastError();
    if (file) {
        page.put(L": present, can be appended to").end();
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        page.put(L": not there yet (the first record of the day creates it)").end();
    } else {
        page.put(L": cannot be opened for appending (error ").number(error).put(L"): its records would be lost").end();
    }
    file.reset();
    // The newest day's file holds the last run: the names are dates.
    WideBuffer pattern;
    pattern.append(directory).append(L"*.log");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(FileSystemPath(pattern.c_str()).c_str(), &found);
    WideBuffer newest;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const wchar_t* a = found.cFileName;
            const wchar_t* b = newest.c_str();
            while (*a && *a == *b) {
                ++a;
                ++b;
            }
            if (*a > *b) {
                newest.clear();
                newest.append(found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (newest.empty()) {
        page.fact(L"last run").put(L"none logged").end();
        return;
    }
    page.fact(L"last run in").put(newest).end();
    WideBuffer newestPath;
    newestPath.append(directory).append(newest);
    putLastRun(page, newestPath);
}

void putEnvironment(Page& page)
{
    page.heading(L"environment");
    // What changes Java's answer to java -version, and the one variable people expect to matter.
    static constexpr const wchar_t* kNames[] = {L"JAVA_TOOL_OPTIONS", L"_JAVA_OPTIONS", L"JDK_JAVA_OPTIONS", L"JAVA_HOME"};
    for (const wchar_t* name : kNames) {
        WideBuffer value;
        const bool set = ReadEnvironmentVariable(name, value);
        page.fact(name).put(set ? value.c_str() : L"(not set");
        if (name[0] == L'J' && name[5] == L'H')
            page.put(set ? L" (not read by the launcher)" : L"; not read by the launcher)");
        else if (!set)
            page.put(L")");
        page.end();
    }
}

}  // namespace

WideBuffer CheckPage(CheckPlatform& platform, const CheckRequest& request, int exitStatus)
{
    ByteBuffer versionText;
    const bool versionFound = platform.probeAnswered && FindJavaVersionText(platform.probeOutput.c_str(),
                                                                           platform.probeOutput.size(), versionText);
    const double version = versionFound ? JavaVersionNumber(versionText.c_str()) : 0;
    const InstallLayout layout = LayoutIn(request.installDirectory.c_str());
    WideBuffer javawBeside;
    if (!platform.java.empty()) {
        javawBeside = DirectoryOf(platform.java.c_str());
        javawBeside.append(kJavawName);
    }
    const Choice choice = choiceIn(platform.records);
    const bool bundled = choice == Choice::Bundled;

    Page page;
    putVerdict(page, platform, exitStatus, bundled);
    page.fact(L"install directory").put(request.installDirectory).end();
    page.fact(L"argument").put(request.argument).put(request.argumentGiven ? L"" : L" (a placeholder: none was given)").end();

    page.heading(L"java search");
    page.put(platform.searchLines);
    page.fact(L"java.exe").put(platform.java.empty() ? L"not found" : platform.java.c_str()).end();

    putProbe(page, platform, versionText, versionFound);

    page.heading(L"choice");
    if (!javawBeside.empty()) {
        page.fact(L"javaw.exe beside java.exe");
        putPresence(page, platform, javawBeside);
    }
    page.fact(L"runtime");
    if (choice == Choice::Bundled)
        page.put(L"bundled: ").put(whyBundled(platform, versionFound, version)).end();
    else if (choice == Choice::System)
        page.put(L"system: Java 1.7 or later, with javaw.exe beside its java.exe").end();
    else
        page.put(L"none: the run ends before the choice").end();
    page.fact(L"bundled runtime");
    putPresence(page, platform, layout.localJavaPath);
    page.fact(L"trust store");
    putPresence(page, platform, layout.trustStorePath);

    putCommandLine(page, platform, request, layout, javawBeside, choice == Choice::System);
    putRecords(page, platform);
    putLog(page);

    page.heading(L"session");
    page.fact(L"window station").put(platform.win32().boxCanBeSeen()
                                         ? L"interactive: a box would be seen"
                                         : L"not interactive (a service or an unattended task): no box would be seen, the launcher ends at once").end();
    putEnvironment(page);
    return page.take();
}

}  // namespace sorvane::check
