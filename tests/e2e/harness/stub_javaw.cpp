// Stand-in for javaw.exe: records how it was started and when it ran, then plays its script.
#include "tests/e2e/harness/stub_protocol.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace sorvane::e2e::stub;

namespace {

std::uint64_t now() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

DWORD parentProcessId() {
    const DWORD self = GetCurrentProcessId();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

class Record {
public:
    void field(std::wstring_view value) {
        fields_.append(value);
        fields_.push_back(L'\0');
    }
    void field(std::uint64_t value) { field(std::to_wstring(value)); }
    void appendTo(const std::wstring& path) const {
        appendToFile(path, fields_.data(), fields_.size() * sizeof(wchar_t));
    }

private:
    std::wstring fields_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::uint64_t started = now();
    const std::wstring self = modulePath();
    const std::wstring dir = directoryOf(self);
    const std::wstring recordPath = dir + L"\\" + kJavawRecordFile;
    const DWORD pid = GetCurrentProcessId();

    const wchar_t* commandLine = GetCommandLineW();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine, &argc);
    Record run;
    run.field(kRunMarker);
    run.field(pid);
    run.field(parentProcessId());
    run.field(started);
    run.field(self);
    run.field(commandLine);
    run.field(static_cast<std::uint64_t>(argv ? argc : 0));
    for (int i = 0; argv && i < argc; ++i) run.field(argv[i]);
    run.appendTo(recordPath);
    LocalFree(argv);

    DWORD exitCode = 0;
    std::string text;
    if (readWholeFile(dir + L"\\" + kJavawScriptFile, text)) {
        std::vector<Command> commands;
        if (!parseScript(text, commands)) {
            exitCode = kBadScriptExitCode;
        } else {
            for (const Command& command : commands) {
                if (command.kind == Command::Kind::Sleep) Sleep(command.number);
                if (command.kind == Command::Kind::Hang) Sleep(INFINITE);
                if (command.kind == Command::Kind::Exit) {
                    exitCode = command.number;
                    break;
                }
                // out/err: a GUI program has nowhere to write, so they are ignored.
            }
        }
    }

    Record end;
    end.field(kEndMarker);
    end.field(pid);
    end.field(now());
    end.field(exitCode);
    end.appendTo(recordPath);
    ExitProcess(exitCode);
}
