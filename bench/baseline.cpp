// The least a launcher can do for the same result: probe "java -version" through a pipe,
// stop reading once the version's closing quote has arrived, start javaw.exe with a command
// line of the launcher's shape and length, wait for it. No log, no checks, no C runtime.
#include "bench/freestanding.h"

#include <stddef.h>

namespace {

constexpr size_t kLineCapacity = 32768;
// Static rather than on the stack, so that no frame needs a stack probe.
wchar_t g_line[kLineCapacity];
wchar_t g_module[MAX_PATH * 4];
wchar_t g_javaw[MAX_PATH * 4];
char g_output[1024];

bool versionComplete(const char* text, size_t length)
{
    static constexpr char phrase[] = "version \"";
    constexpr size_t phraseLength = sizeof phrase - 1;
    for (size_t i = 0; i + phraseLength <= length; ++i) {
        size_t k = 0;
        while (k < phraseLength && text[i + k] == phrase[k])
            ++k;
        if (k < phraseLength)
            continue;
        for (size_t j = i + phraseLength; j < length; ++j) {
            if (text[j] == '"')
                return true;
        }
        return false;
    }
    return false;
}

void probeJava()
{
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0))
        return;
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    wchar_t commandLine[] = L"java -version";
    PROCESS_INFORMATION process = {};
    // java.exe is a console program. Detached, it gets no console at all: Windows would otherwise
    // give it a new one, and CREATE_NO_WINDOW still starts a conhost.exe (under Wine too).
    BOOL started = CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        CloseHandle(process.hThread);
        size_t length = 0;
        DWORD got = 0;
        while (length < sizeof g_output && !versionComplete(g_output, length) &&
               ReadFile(readEnd, g_output + length, static_cast<DWORD>(sizeof g_output - length), &got, nullptr) &&
               got > 0)
            length += got;
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
}

// The rest of our own command line after the program token, the way the launcher forwards it.
const wchar_t* forwardedArgument()
{
    const wchar_t* s = GetCommandLineW();
    if (*s == L'"') {
        for (++s; *s && *s != L'"'; ++s) {
        }
        if (*s)
            ++s;
    } else {
        while (*s && *s != L' ' && *s != L'\t')
            ++s;
    }
    while (*s == L' ' || *s == L'\t')
        ++s;
    return s;
}

void buildChildLine()
{
    DWORD n = GetModuleFileNameW(nullptr, g_module, MAX_PATH * 4);
    size_t dir = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (g_module[i] == L'\\' || g_module[i] == L'/')
            dir = i + 1;
    }
    size_t k = 0;
    k = bench::append(g_line, k, kLineCapacity, L"\"javaw.exe \" -Djavax.net.ssl.trustStore=\"");
    k = bench::append(g_line, k, kLineCapacity, g_module, dir);
    k = bench::append(g_line, k, kLineCapacity, L"security\\cacerts\" -DSorvaneInstallPath=\"");
    k = bench::append(g_line, k, kLineCapacity, g_module, dir);
    k = bench::append(g_line, k, kLineCapacity, L"\\\" -jar \"");
    k = bench::append(g_line, k, kLineCapacity, g_module, dir);
    k = bench::append(g_line, k, kLineCapacity, L"getdown-launcher-1.8.6.jar\" ");
    const wchar_t* argument = forwardedArgument();
    bool quoted = *argument == L'"';
    if (!quoted)
        k = bench::append(g_line, k, kLineCapacity, L"\"");
    k = bench::append(g_line, k, kLineCapacity, argument);
    if (!quoted)
        k = bench::append(g_line, k, kLineCapacity, L"\"");
}

}  // namespace

extern "C" void BaselineEntry()
{
    probeJava();
    buildChildLine();
    DWORD exitCode = 1;
    if (SearchPathW(nullptr, L"javaw.exe", nullptr, MAX_PATH * 4, g_javaw, nullptr)) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(g_javaw, g_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            WaitForSingleObject(process.hProcess, INFINITE);
            CloseHandle(process.hProcess);
            exitCode = 0;
        }
    }
    ExitProcess(exitCode);
}
