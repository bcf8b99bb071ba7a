// launcher-check.exe [INSTALL_DIR] [ARGUMENT]
//
// What launcher.exe would do on this machine, and why, without starting anything: the launcher's
// own sequence (RunLauncher) run through a platform that asks the machine everything the launcher
// would ask and does nothing the launcher would do. It prints one page, saves it under %TEMP% for
// the user to send, and ends with the exit status the launcher would end with (64: a wrong use).
#include <windows.h>

#include "launcher/buffer.h"
#include "launcher/check/check_page.h"
#include "launcher/check/check_platform.h"
#include "launcher/command_line.h"
#include "launcher/handle.h"
#include "launcher/install_layout.h"
#include "launcher/launch_sequence.h"
#include "launcher/log/log_record.h"
#include "launcher/win32_buffer.h"
#include "launcher/win32_files.h"

namespace sorvane::check {
namespace {

constexpr int kExitWrongUse = 64;
constexpr wchar_t kUsage[] =
    L"usage: launcher-check.exe [INSTALL_DIR] [ARGUMENT]\r\n"
    L"  INSTALL_DIR  the folder that holds launcher.exe (default: the folder that holds launcher-check.exe)\r\n"
    L"  ARGUMENT     the argument launcher.exe would be given (default: a placeholder)\r\n";
// Forwarded in place of the vendor's argument when none is given.
constexpr wchar_t kPlaceholderArgument[] = L"ARGUMENT";

void write(HANDLE out, const WideBuffer& text)
{
    DWORD mode = 0;
    DWORD written = 0;
    if (text.size() > 0x7fffffff)
        return;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected: UTF-8, so that every path comes through whole.
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    ByteBuffer utf8;
    if (bytes <= 0 || !utf8.reserve(static_cast<size_t>(bytes)))
        return;
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    WriteFile(out, utf8.data(), static_cast<DWORD>(bytes), &written, nullptr);
}

void write(HANDLE out, const wchar_t* text)
{
    WideBuffer line;
    line.append(text);
    write(out, line);
}

// The page in UTF-8 under %TEMP%, named by the local time: launcher-check-2026-12-10-090503.txt.
bool savePage(const WideBuffer& page, WideBuffer& path)
{
    FillBuffer(path, [](const wchar_t*, wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    SYSTEMTIME now;
    GetLocalTime(&now);
    path.append(L"launcher-check-");
    path.append(LogFileName({now.wYear, now.wMonth, now.wDay, 0, 0, 0}).c_str(), 10);
    path.append(L'-');
    appendDecimal(path, now.wHour, 2);
    appendDecimal(path, now.wMinute, 2);
    appendDecimal(path, now.wSecond, 2);
    path.append(L".txt");
    int bytes = page.size() < 0x7fffffff ? WideCharToMultiByte(CP_UTF8, 0, page.c_str(), static_cast<int>(page.size()),
                                                               nullptr, 0, nullptr, nullptr)
                                         : 0;
    ByteBuffer utf8;
    if (path.failed() || bytes <= 0 || !utf8.reserve(static_cast<size_t>(bytes)))
        return false;
    WideCharToMultiByte(CP_UTF8, 0, page.c_str(), static_cast<int>(page.size()), utf8.data(), bytes, nullptr, nullptr);
    UniqueHandle file(CreateFileW(FileSystemPath(path.c_str()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), utf8.data(), static_cast<DWORD>(bytes), &written, nullptr) &&
           written == static_cast<DWORD>(bytes);
}

// A console of its own is one that opened with it (a double-click in Explorer), and closes with it.
bool ownsConsole()
{
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

// The install directory given, fully qualified and ending in its separator; false when it is no
// folder.
bool installDirectoryFrom(const wchar_t* given, WideBuffer& directory)
{
    WideBuffer full;
    FillBuffer(
        full, [](const wchar_t* path, wchar_t* buffer, DWORD size) { return GetFullPathNameW(path, size, buffer, nullptr); },
        given);
    DWORD attributes = GetFileAttributesW(FileSystemPath(full.c_str()).c_str());
    if (full.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    directory = static_cast<WideBuffer&&>(full);
    wchar_t last = directory.c_str()[directory.size() - 1];
    if (last != L'\\' && last != L'/')
        directory.append(L'\\');
    return !directory.failed();
}

int run()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CommandLineSplitter arguments(GetCommandLineW());
    WideBuffer self;
    WideBuffer given[3];
    int count = 0;
    arguments.next(self);
    while (count < 3 && arguments.next(given[count]))
        ++count;

    CheckRequest request;
    const wchar_t* first = given[0].c_str();
    bool help = count > 0 && (first[0] == L'/' || first[0] == L'-') && (first[1] == L'?' || first[1] == L'h' || first[1] == L'-');
    if (count > 2 || help) {
        write(out, kUsage);
        return kExitWrongUse;
    }
    if (count == 0) {
        request.installDirectory = DirectoryOf(ModuleFilePath().c_str());
    } else if (!installDirectoryFrom(first, request.installDirectory)) {
        write(out, L"launcher-check: not a folder: ");
        write(out, given[0]);
        write(out, L"\r\n");
        write(out, kUsage);
        return kExitWrongUse;
    }
    request.argumentGiven = count == 2;
    request.argument.append(request.argumentGiven ? given[1].c_str() : kPlaceholderArgument);

    // The launcher's command line as a shortcut would start it: its path, then the argument,
    // quoted so that the launcher's split gives it back exactly.
    WideBuffer launcher;
    launcher.append(request.installDirectory).append(L"launcher.exe");
    WideBuffer commandLine;
    appendField(commandLine, L"", launcher.c_str());
    appendField(commandLine, L"", request.argument.c_str());

    CheckPlatform platform(request.installDirectory.c_str(), commandLine.c_str());
    const int status = RunLauncher(platform);
    const WideBuffer page = CheckPage(platform, request, status);
    write(out, page);
    WideBuffer saved;
    write(out, savePage(page, saved) ? L"\r\npage saved: " : L"\r\npage not saved: ");
    write(out, saved);
    write(out, L"\r\n");
    if (ownsConsole()) {
        write(out, L"Press Enter to close this window.\r\n");
        wchar_t key[64];
        DWORD read = 0;
        ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), key, 64, &read, nullptr);
    }
    return status;
}

}  // namespace
}  // namespace sorvane::check

int wmain()
{
    sorvane::PrepareProcess();
    return sorvane::check::run();
}
