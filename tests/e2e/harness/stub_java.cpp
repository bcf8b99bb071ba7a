// Stand-in for java.exe: plays the script beside it, so a test decides what the probe sees.
#include "tests/e2e/harness/stub_protocol.h"

#include <string>
#include <vector>

using namespace sorvane::e2e::stub;

int wmain() {
    const std::wstring dir = directoryOf(modulePath());

    // Recorded before anything else, so even a run that hangs and gets killed leaves a trace.
    DWORD consoleProcesses[4];
    const DWORD onConsole = GetConsoleProcessList(consoleProcesses, 4);
    const std::string ran = std::to_string(onConsole) + "\t" + toUtf8(GetCommandLineW()) + "\n";
    appendToFile(dir + L"\\" + kJavaRanFile, ran.data(), ran.size());

    std::string text;
    if (!readWholeFile(dir + L"\\" + kJavaScriptFile, text)) return 0;
    std::vector<Command> commands;
    if (!parseScript(text, commands)) return static_cast<int>(kBadScriptExitCode);

    for (const Command& command : commands) {
        switch (command.kind) {
            case Command::Kind::Out:
            case Command::Kind::Err: {
                // Failures are ignored: a reader that went away must not change what else the stub does.
                const HANDLE target =
                    GetStdHandle(command.kind == Command::Kind::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
                DWORD written = 0;
                WriteFile(target, command.bytes.data(), static_cast<DWORD>(command.bytes.size()), &written, nullptr);
                break;
            }
            case Command::Kind::Sleep:
                Sleep(command.number);
                break;
            case Command::Kind::Hang:
                Sleep(INFINITE);
                break;
            case Command::Kind::Exit:
                ExitProcess(command.number);
        }
    }
    return 0;
}
