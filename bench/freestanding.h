// Shared by the programs built without any C runtime (baseline and stubs): they import KERNEL32 alone.
#pragma once

#include <windows.h>

#include <stddef.h>

namespace bench {

// Appends text at out[length], keeping the result terminated; stops at the capacity.
inline size_t append(wchar_t* out, size_t length, size_t capacity, const wchar_t* text, size_t count = ~size_t(0))
{
    for (size_t i = 0; i < count && text[i] && length + 1 < capacity; ++i)
        out[length++] = text[i];
    out[length] = 0;
    return length;
}

}  // namespace bench
