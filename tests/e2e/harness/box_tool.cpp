// box_tool.exe wait|ok CAPTION TIMEOUT_MS: the demo's hands on the launcher's message box.
//   wait: waits until a box with this caption is shown (fully set up), prints its text;
//   ok:   waits for it the same way, then presses OK on it and prints its text.
// The text is printed as UTF-8 with a CRLF. Exit code: 0 when a box was found, 1 when none appeared
// in time, 2 for a wrong command line.
#include "tests/e2e/harness/message_box.h"

#include <shellapi.h>

#include <cwchar>
#include <optional>
#include <string>

namespace {

void printUtf8Line(const std::wstring& text) {
    const std::wstring line = text + L"\r\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), n, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::optional<std::wstring> waitForBox(const std::wstring& caption, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (const auto box = sorvane::e2e::findMessageBox(&caption)) return box->text;
        if (GetTickCount64() >= deadline) return std::nullopt;
        Sleep(20);
    }
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) return 2;
    const std::wstring mode = argv[1], caption = argv[2];
    const DWORD timeoutMs = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));

    std::optional<std::wstring> text;
    if (mode == L"wait")
        text = waitForBox(caption, timeoutMs);
    else if (mode == L"ok")
        text = sorvane::e2e::dismissMessageBox(caption, timeoutMs);
    else
        return 2;
    if (!text) return 1;
    printUtf8Line(*text);
    return 0;
}
