// Small Win32 helpers shared by the launcher's I/O code.
#pragma once

#include <windows.h>

#include "launcher/buffer.h"

namespace sorvane {

// Writes one line to standard output when there is one (a GUI program usually has none).
// Wide text goes out as UTF-8 so that no path is cut short at its first non-ASCII character.
void EchoLine(const wchar_t* line);
void EchoLine(const char* line);

// An environment variable's value; false when unset.
bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value);

// The system directory (C:\Windows\System32) and the Windows directory; empty when unknown.
WideBuffer SystemDirectory();
WideBuffer WindowsDirectory();

// The full path of the running executable, whatever its length, without a \\?\ prefix.
WideBuffer ModuleFilePath();

// The path in a form the file-system calls accept past MAX_PATH: a fully qualified long path
// gets the \\?\ prefix (\\?\UNC\ for a share); anything short or relative is left as it is.
WideBuffer FileSystemPath(const wchar_t* path);

// CreateProcessW with no security attributes and the launcher's environment and current
// directory. A start that fails for a moment is tried again, for about a second in all: a virus
// scanner holds a freshly updated javaw.exe open with no sharing (ERROR_SHARING_VIOLATION), and a
// loaded machine fails a start now and then (ERROR_INTERNAL_ERROR, seen under Wine). False, with
// the last Windows error code, when it could not be started.
inline constexpr int kStartAttempts = 10;
inline constexpr DWORD kStartRetryDelayMs = 100;
bool StartProcess(const wchar_t* application, const wchar_t* commandLine, bool inheritHandles, DWORD flags,
                  STARTUPINFOW& startup, PROCESS_INFORMATION& process, DWORD& error);

bool PathExists(const wchar_t* path);

// True when every character of text has its own character in the active ANSI code page: no
// best-fit look-alike ('ł' for 'l') and no default character ('?') is needed.
bool ConvertsToAnsiCodePage(const wchar_t* text);

// GetShortPathNameW of an existing path, any length; false when it fails (no such path, or no
// access, as under C:\Program Files\WindowsApps). A path with no 8.3 name comes back unchanged.
bool ShortPathName(const wchar_t* path, WideBuffer& shortForm);

}  // namespace sorvane
