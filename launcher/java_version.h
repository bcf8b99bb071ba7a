// What "java -version" says about the machine's runtime.
#pragma once

#include <cstddef>

#include "launcher/buffer.h"

namespace sorvane {

// The lowest version number that selects the machine's own runtime. Just below 1.7, so that
// a decimal rounding of "1.7" can never send a 1.7 runtime to the bundled one.
inline constexpr double SYSTEM_JAVA_MIN_VERSION = 1.699;

// The probe stops reading at this many bytes of output. Monitoring agents print
// "Picked up JAVA_TOOL_OPTIONS: ..." lines of well over a kilobyte before the version.
inline constexpr size_t kProbeOutputLimit = 65536;

// How long the probe waits for an answer, in all, before it counts as no runtime.
inline constexpr unsigned long kProbeTimeoutMs = 15000;

// JavaVersionText never holds more than this many characters.
inline constexpr size_t kJavaVersionTextLimit = 99;

// True once the output read so far can no longer change the version found in it: the quoted
// text after 'version "' is complete, or a zero byte has ended the text.
bool ProbeOutputComplete(const char* output, size_t length);

// Finds JavaVersionText in the probe's output (read up to its first zero byte). Where the
// output contains 'version "', the version is the quoted text that phrase opens, so that a
// "Picked up JAVA_TOOL_OPTIONS: ..." line with quotes of its own cannot hide it. Otherwise it is
// the first double-quoted text, provided the output holds some character other than the
// letters of "version", a space or a double quote. False when there is no such quoted text.
bool FindJavaVersionText(const char* output, size_t length, ByteBuffer& version);

// The leading decimal number of the version text, as atof reads it ("1.8.0_281" is 1.8,
// "11.0.2" is 11, "" is 0).
double JavaVersionNumber(const char* versionText);

}  // namespace sorvane
