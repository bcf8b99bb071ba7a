// The one grow-and-retry loop for Win32 calls that fill a caller's buffer.
#pragma once

#include <windows.h>

#include "launcher/buffer.h"

namespace sorvane {

// One such call, with whatever it needs besides the buffer in context.
using FillCall = DWORD (*)(const void* context, wchar_t* buffer, DWORD size);

// Calls fill(context, buffer, size), size counting the terminator, until its answer fits into
// out. Such calls answer with the characters written, terminator excluded, when they fit; when
// they do not, with the size they need, terminator included, or (GetModuleFileNameW) with size
// itself, the text cut short. 0 is a failure, or an empty text when the call set no error: true
// for the latter (an environment variable set to nothing). No answer past 65,536 characters is
// taken: no Windows path or environment value is longer than 32,767.
bool FillBuffer(WideBuffer& out, FillCall fill, const void* context = nullptr);

}  // namespace sorvane
