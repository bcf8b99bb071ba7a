#include <windows.h>

#include "launcher/launch_sequence.h"
#include "launcher/win32_platform.h"

// The entry point's arguments are not used: the sequence reads the process command line itself.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    sorvane::PrepareProcess();
    sorvane::Win32Platform platform;
    return sorvane::RunLauncher(platform);
}
