#include "launcher/win32_process.h"

#include "launcher/buffer.h"
#include "launcher/handle.h"

namespace sorvane {

bool StartProcess(const wchar_t* application, const wchar_t* commandLine, bool inheritHandles, DWORD flags,
                  STARTUPINFOW& startup, PROCESS_INFORMATION& process, DWORD& error)
{
    for (int attempt = 1;; ++attempt) {
        WideBuffer writableLine;   // CreateProcessW may write into its command line
        writableLine.append(commandLine);
        if (writableLine.failed()) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        if (CreateProcessW(application, writableLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr, nullptr,
                           &startup, &process))
            return true;
        error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_INTERNAL_ERROR) || attempt == kStartAttempts)
            return false;
        Sleep(kStartRetryDelayMs);
    }
}

bool RunAndWait(const wchar_t* program, const wchar_t* commandLine, DWORD& error)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!StartProcess(program, commandLine, false, 0, startup, process, error))
        return false;
    UniqueHandle child(process.hProcess);
    CloseHandle(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    return true;
}

}  // namespace sorvane
