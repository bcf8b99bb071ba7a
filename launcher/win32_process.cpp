#include "launcher/win32_process.h"

#include "launcher/buffer.h"
#include "launcher/win32_platform.h"

namespace sorvane {

UniqueHandle StartProcess(const wchar_t* application, const wchar_t* commandLine, bool inheritHandles, DWORD flags,
                          STARTUPINFOW& startup, DWORD& error)
{
    for (int attempt = 1;; ++attempt) {
        WideBuffer writableLine;   // CreateProcessW may write into its command line
        writableLine.append(commandLine);
        if (writableLine.failed()) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            return UniqueHandle();
        }
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(application, writableLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr, nullptr,
                           &startup, &process)) {
            CloseHandle(process.hThread);
            return UniqueHandle(process.hProcess);
        }
        error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_INTERNAL_ERROR) || attempt == kStartAttempts)
            return UniqueHandle();
        Sleep(kStartRetryDelayMs);
    }
}

// The child inherits no handle of the launcher's.
bool Win32Platform::runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    UniqueHandle child = StartProcess(program, commandLine, false, 0, startup, error);
    if (!child)
        return false;
    WaitForSingleObject(child.get(), INFINITE);
    return true;
}

}  // namespace sorvane
