#include <windows.h>

#include "launcher/launch_sequence.h"
#include "launcher/win32_platform.h"

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

// The entry point's arguments are not used: the sequence reads the process command line itself.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    searchDllsOnlyInTheSystemDirectory();
    failCriticalErrorsWithoutPrompting();
    sorvane::Win32Platform platform;
    return sorvane::RunLauncher(platform);
}
