// Starting processes.
#pragma once

#include <windows.h>

namespace sorvane {

// CreateProcessW with no security attributes and the launcher's environment and current
// directory. A start that fails for a moment is tried again, for about a second in all: a virus
// scanner holds a freshly updated javaw.exe open with no sharing (ERROR_SHARING_VIOLATION), and a
// loaded machine fails a start now and then (ERROR_INTERNAL_ERROR, seen under Wine). False, with
// the last Windows error code, when it could not be started.
inline constexpr int kStartAttempts = 10;
inline constexpr DWORD kStartRetryDelayMs = 100;
bool StartProcess(const wchar_t* application, const wchar_t* commandLine, bool inheritHandles, DWORD flags,
                  STARTUPINFOW& startup, PROCESS_INFORMATION& process, DWORD& error);

// Starts the program at its full path with commandLine, inheriting no handle, and waits until
// it has ended.
bool RunAndWait(const wchar_t* program, const wchar_t* commandLine, DWORD& error);

}  // namespace sorvane
