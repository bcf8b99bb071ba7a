// Finds a program the way CreateProcessW would, minus the current directory.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// Looks for fileName in the install directory (launcher.exe's own), the system directory, the 16-bit system
// directory, the Windows directory, then each PATH entry: CreateProcessW's order with the current
// directory left out, as with NoDefaultCurrentDirectoryInExePath, so that a java.exe planted in
// whatever directory the launcher was started from is never run. For the same reason a PATH entry
// that is not fully qualified (".", "tools\bin", "C:tools", "\tools") is skipped: it names the
// current directory or a place relative to it.
bool FindProgram(const wchar_t* installDirectory, const wchar_t* fileName, WideBuffer& path);

}  // namespace sorvane
