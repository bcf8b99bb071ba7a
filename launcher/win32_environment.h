// What this Windows is set to: environment variables and the ANSI code page.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// An environment variable's value; false when it is unset.
bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value);

// True when every character of text has its own character in the active ANSI code page: no
// best-fit look-alike ('ł' for 'l') and no default character ('?') is needed.
bool ConvertsToAnsiCodePage(const wchar_t* text);

// The look-alike test of command_line.h for the active ANSI code page, decided by that code
// page's own best fit (WideCharToMultiByte without WC_NO_BEST_FIT_CHARS).
bool IsLookAlike(wchar_t c);

}  // namespace sorvane
