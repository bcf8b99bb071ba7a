// Stand-in for javaw.exe: records how it was started and when it ended, then plays its script.
#include "tests/e2e/harness/stub_protocol.h"

#include <shellapi.h>

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

// A Java launcher reads GetCommandLineA, splits it by the standard rules and opens the files it
// names through those ANSI bytes: a character the code page lacks has become '?' and opens nothing.
struct AnsiView {
    std::wstring commandLine;
    std::wstring jar, trustStore, installPath, argument;  // "1", "0", or "" when absent
};

std::wstring opens(const std::wstring& widenedAnsi) {
    const int n = WideCharToMultiByte(CP_ACP, 0, widenedAnsi.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, widenedAnsi.c_str(), -1, ansi.data(), n, nullptr, nullptr);
    return GetFileAttributesA(ansi.c_str()) != INVALID_FILE_ATTRIBUTES ? L"1" : L"0";
}

AnsiView readAnsiCommandLine() {
    AnsiView view;
    const char* ansi = GetCommandLineA();
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    view.commandLine.assign(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, view.commandLine.data(), n);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(view.commandLine.c_str(), &argc);
    const std::wstring_view trustStore = L"-Djavax.net.ssl.trustStore=";
    const std::wstring_view installPath = L"-DSorvaneInstallPath=";
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg.starts_with(trustStore)) {
            view.trustStore = opens(arg.substr(trustStore.size()));
        } else if (arg.starts_with(installPath)) {
            view.installPath = opens(arg.substr(installPath.size()));
        } else if (arg == L"-jar" && i + 1 < argc) {
            view.jar = opens(argv[++i]);
            if (i + 1 < argc) view.argument = opens(argv[i + 1]);
            break;
        }
    }
    LocalFree(argv);
    return view;
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
    const std::wstring dir = directoryOf(modulePath());
    const std::wstring recordPath = dir + L"\\" + kJavawRecordFile;
    const DWORD pid = GetCurrentProcessId();

    const wchar_t* commandLine = GetCommandLineW();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine, &argc);
    Record run;
    run.field(kRunMarker);
    run.field(pid);
    run.field(commandLine);
    run.field(static_cast<std::uint64_t>(argv ? argc : 0));
    for (int i = 0; argv && i < argc; ++i) run.field(argv[i]);
    const AnsiView ansi = readAnsiCommandLine();
    for (const std::wstring* field : {&ansi.commandLine, &ansi.jar, &ansi.trustStore, &ansi.installPath, &ansi.argument})
        run.field(*field);
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
