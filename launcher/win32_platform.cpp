#include "launcher/win32_platform.h"

#include <windows.h>

#include "launcher/handle.h"
#include "launcher/log/launcher_log.h"
#include "launcher/probe.h"
#include "launcher/program_search.h"
#include "launcher/win32_support.h"

namespace sorvane {

Win32Platform::Win32Platform() : modulePath_(ModuleFilePath()) {}

const wchar_t* Win32Platform::commandLine()
{
    return GetCommandLineW();
}

const wchar_t* Win32Platform::modulePath()
{
    return modulePath_.c_str();
}

void Win32Platform::log(const char* message)
{
    WriteLogRecord(message);
}

void Win32Platform::echo(const wchar_t* line)
{
    EchoLine(line);
}

bool Win32Platform::findProgram(const wchar_t* fileName, WideBuffer& path)
{
    return FindProgram(modulePath_.c_str(), fileName, path);
}

bool Win32Platform::captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output)
{
    return CaptureJavaVersionOutput(javaPath, output);
}

bool Win32Platform::fileExists(const wchar_t* path)
{
    return PathExists(path);
}

bool Win32Platform::readableByJava(const wchar_t* text)
{
    return ConvertsToAnsiCodePage(text);
}

bool Win32Platform::shortPath(const wchar_t* path, WideBuffer& shortForm)
{
    return ShortPathName(path, shortForm);
}

bool Win32Platform::runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!StartProcess(program, commandLine, false, 0, startup, process, error))
        return false;
    UniqueHandle child(process.hProcess);
    UniqueHandle thread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    thread.reset();
    child.reset();
    return true;
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

void Win32Platform::showMessageBox(const wchar_t* text, const wchar_t* caption)
{
    // USER32 is loaded only here: importing it would cost every start its whole GUI chain. It is
    // named by its full path in the system directory, which no search order can redirect, on
    // every Windows, whether or not the launcher could restrict the DLL search at start-up.
    using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
    WideBuffer user32Path = SystemDirectory();
    if (user32Path.empty())
        return;
    user32Path.append(L"\\user32.dll");
    if (user32Path.failed())
        return;
    HMODULE user32 = LoadLibraryW(user32Path.c_str());
    if (!user32 || onNonInteractiveWindowStation(user32))
        return;
    auto messageBox = reinterpret_cast<MessageBoxFunction>(reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxW")));
    if (messageBox)
        messageBox(nullptr, text, caption, MB_OK);
}

}  // namespace sorvane
