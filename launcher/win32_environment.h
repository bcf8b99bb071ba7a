// What this Windows is set to: environment variables and the ANSI code page. The platform's
// questions about the code page are answered beside them, in win32_environment.cpp.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// An environment variable's value; false when it is unset.
bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value);

// Whether a Java launcher reads text whole in that ANSI code page: every character has its own
// there, so no best-fit look-alike ('l' for 'ł') and no default character ('?') is needed.
bool ReadableInCodePage(unsigned codePage, const wchar_t* text);

}  // namespace sorvane
