// Paths and files: the launcher's own path, the system's directories, the \\?\ form, existence
// and short names.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// The full path of the running executable, whatever its length, without a \\?\ prefix.
WideBuffer ModuleFilePath();

// The system directory (C:\Windows\System32) and the Windows directory; empty when unknown.
WideBuffer SystemDirectory();
WideBuffer WindowsDirectory();

// The path in a form the file-system calls accept past MAX_PATH: a fully qualified long path
// gets the \\?\ prefix (\\?\UNC\ for a share); anything short or relative is left as it is.
WideBuffer FileSystemPath(const wchar_t* path);

bool PathExists(const wchar_t* path);

// GetShortPathNameW of an existing path, any length; false when it fails (no such path, or no
// access, as under C:\Program Files\WindowsApps). A path with no 8.3 name comes back unchanged.
bool ShortPathName(const wchar_t* path, WideBuffer& shortForm);

}  // namespace sorvane
