// Shared by the fuzz targets: turning raw input into launcher text, and stopping on a broken rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "launcher/buffer.h"

namespace sorvane {

// Stops the run with a message; libFuzzer saves the input that got here.
inline void require(bool holds, const char* rule)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", rule);
        std::abort();
    }
}

// The input read as UTF-16 code units, little-endian as on Windows (an odd last byte is dropped).
// The launcher's functions stop at the first zero unit, as they would at the terminator.
inline WideBuffer WideFromBytes(const uint8_t* data, size_t size)
{
    WideBuffer text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.append(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    return text;
}

inline bool SameText(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength)
{
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

}  // namespace sorvane
