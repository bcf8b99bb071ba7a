// What this Windows is set to: environment variables and the ANSI code page. The platform's
// questions about the code page are answered beside them, in win32_environment.cpp.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// An environment variable's value; false when it is unset.
bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value);

}  // namespace sorvane
