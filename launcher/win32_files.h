// Paths and files: the launcher's own path, the system's directories and the \\?\ form. The
// platform's existence test and short names are defined beside them, in win32_files.cpp.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// The full path of the running executable, whatever its length, without a \\?\ prefix.
WideBuffer ModuleFilePath();

// The system directory (C:\Windows\System32) and the Windows directory; empty when unknown.
WideBuffer SystemDirectory();
WideBuffer WindowsDirectory();

// The path in a form the file-system calls accept past MAX_PATH. A path of MAX_PATH - 12
// characters or more is made full (a relative one against the current directory, as every such
// call would take it) and gets the \\?\ prefix (\\?\UNC\ for a share); a shorter one, or one
// that has a prefix already, is left as it is.
WideBuffer FileSystemPath(const wchar_t* path);

}  // namespace sorvane
