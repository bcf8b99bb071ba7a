// Starting processes. The platform's start of the Java child is defined beside it, in
// win32_process.cpp.
#pragma once

#include <windows.h>

#include "launcher/handle.h"

namespace sorvane {

// CreateProcessW with no security attributes and the launcher's environment and current
// directory. A start that fails for a moment is tried again, for about a second in all: a virus
// scanner holds a freshly updated javaw.exe open with no sharing (ERROR_SHARING_VIOLATION), and a
// loaded machine fails a start now and then (ERROR_INTERNAL_ERROR, seen under Wine). Gives the
// process's handle (its thread's is closed at once), or none, with the last Windows error code,
// when it could not be started.
inline constexpr int kStartAttempts = 10;
inline constexpr DWORD kStartRetryDelayMs = 100;
UniqueHandle StartProcess(const wchar_t* application, const wchar_t* commandLine, bool inheritHandles, DWORD flags,
                          STARTUPINFOW& startup, DWORD& error);

}  // namespace sorvane
