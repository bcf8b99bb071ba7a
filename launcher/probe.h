// Asks the machine's Java runtime for its version.
#pragma once

#include <windows.h>

#include "launcher/buffer.h"

namespace sorvane {

// How long the probe waits for an answer, in all, before it counts as no runtime.
inline constexpr DWORD kProbeTimeoutMs = 15000;

// Runs the program at javaPath with the command line "java -version", its standard output and
// error on a pipe, and collects what it writes until the version is complete, 64 KiB have come,
// or the output ends. False when it cannot be started, or has not answered within the
// time-out (it is then terminated).
bool CaptureJavaVersionOutput(const wchar_t* javaPath, ByteBuffer& output, DWORD timeoutMs = kProbeTimeoutMs);

}  // namespace sorvane
