#include "launcher/win32_platform.h"

#include <windows.h>

#include <cstddef>

#include "launcher/install_layout.h"
#include "launcher/win32_files.h"

namespace sorvane {

// One line, CRLF-terminated, to standard output, which is there only when whoever started the
// launcher redirected it (a GUI program gets none of its own); nothing relies on what is written
// there. Wide text goes out as UTF-8 so that no path is cut short at its first non-ASCII character.
static void echoLine(const wchar_t* line)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    size_t length = WideBuffer::length(line);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || length > 0x7fffffff)
        return;
    ByteBuffer text;
    int bytes = length ? WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(length), nullptr, 0, nullptr, nullptr) : 0;
    if (bytes > 0 && text.reserve(static_cast<size_t>(bytes))) {
        WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(length), text.data(), bytes, nullptr, nullptr);
        text.setSize(static_cast<size_t>(bytes));
    }
    text.append("\r\n");
    DWORD written = 0;
    if (!text.failed() && text.size() <= MAXDWORD)
        WriteFile(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Before anything loads a DLL: search only the system directory, so that a DLL planted in the
// launcher's own (perhaps user-writable) directory or the current one is never loaded. Looked up
// at run time: Windows 7 without KB2533623 lacks the export, and a static import would stop the
// launcher from starting there; such a system keeps the default search order.
static void searchDllsOnlyInTheSystemDirectory()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32)
        return;
    auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The program search and the existence checks look at every PATH entry; one on a drive with no
// medium in it (a card reader, an emptied optical drive, a removed USB stick) would raise "There is
// no disk in the drive" and hold the launcher until someone answers it. With the prompt off such
// an entry fails like a missing one. This thread's mode only: the process's (SetErrorMode) would
// be inherited by the Java child, which keeps its own.
static void failCriticalErrorsWithoutPrompting()
{
    SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS, nullptr);
}

void PrepareProcess()
{
    searchDllsOnlyInTheSystemDirectory();
    failCriticalErrorsWithoutPrompting();
}

Win32Platform::Win32Platform() : installDirectory_(DirectoryOf(ModuleFilePath().c_str())) {}

Win32Platform::Win32Platform(const wchar_t* installDirectory)
{
    installDirectory_.append(installDirectory);
}

const wchar_t* Win32Platform::commandLine()
{
    return GetCommandLineW();
}

const wchar_t* Win32Platform::installDirectory()
{
    return installDirectory_.c_str();
}

void Win32Platform::log(const char* message)
{
    // The day's file name is echoed with every record, whether or not the record could be written.
    WideBuffer fileName = log_.write(message);
    if (!fileName.empty())
        echoLine(fileName.c_str());
}

void Win32Platform::echo(const wchar_t* line)
{
    echoLine(line);
}

// Deployment agents, services and scheduled tasks that run whether or not anyone is logged on
// start the launcher on a window station that is not interactive. A box there is seen by no one
// and never dismissed, so it would hold the launcher (and whoever waits for it) for ever. Only
// when the station's flags can be read and lack WSF_VISIBLE is the box left out.
static bool onNonInteractiveWindowStation(HMODULE user32)
{
    using GetProcessWindowStationFunction = HWINSTA(WINAPI*)();
    using GetUserObjectInformationFunction = BOOL(WINAPI*)(HANDLE, int, PVOID, DWORD, LPDWORD);
    auto getProcessWindowStation = reinterpret_cast<GetProcessWindowStationFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetProcessWindowStation")));
    auto getUserObjectInformation = reinterpret_cast<GetUserObjectInformationFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetUserObjectInformationW")));
    if (!getProcessWindowStation || !getUserObjectInformation)
        return false;
    // The station handle belongs to the process and must not be closed.
    HWINSTA station = getProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    if (!station || !getUserObjectInformation(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return false;
    return !(flags.dwFlags & WSF_VISIBLE);
}

// USER32 is loaded only when a box is at stake: importing it would cost every start its whole GUI
// chain. It is named by its full path in the system directory, which no search order can
// redirect, on every Windows, whether or not the launcher could restrict the DLL search at start-up.
static HMODULE loadUser32()
{
    WideBuffer user32Path = SystemDirectory();
    if (user32Path.empty())
        return nullptr;
    user32Path.append(L"\\user32.dll");
    return user32Path.failed() ? nullptr : LoadLibraryW(user32Path.c_str());
}

bool Win32Platform::boxCanBeSeen()
{
    HMODULE user32 = loadUser32();
    return user32 && !onNonInteractiveWindowStation(user32);
}

void Win32Platform::showMessageBox(const wchar_t* text, const wchar_t* caption)
{
    using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
    HMODULE user32 = loadUser32();
    if (!user32 || onNonInteractiveWindowStation(user32))
        return;
    auto messageBox = reinterpret_cast<MessageBoxFunction>(reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxW")));
    if (messageBox)
        messageBox(nullptr, text, caption, MB_OK);
}

}  // namespace sorvane
