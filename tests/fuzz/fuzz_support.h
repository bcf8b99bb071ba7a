// Shared by the fuzz targets: raw input as launcher text, and stopping on a broken rule.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launcher/buffer.h"

namespace sorvane {

// libFuzzer saves the input that got here.
inline void require(bool holds, const char* rule)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", rule);
        std::abort();
    }
}

// The input as UTF-16 code units, little-endian as on Windows; the launcher reads up to the first 0.
inline WideBuffer WideFromBytes(const uint8_t* data, size_t size)
{
    WideBuffer text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.append(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    return text;
}

inline bool SameText(const wchar_t* a, const wchar_t* b, size_t length)
{
    return !std::memcmp(a, b, length * sizeof(wchar_t));
}

inline bool SameText(const WideBuffer& a, const WideBuffer& b)
{
    return a.size() == b.size() && SameText(a.c_str(), b.c_str(), a.size());
}

}  // namespace sorvane
