// A small model of code page 1252's best fit, for the tests and the fuzz targets: what a Java that
// reads its command line through GetCommandLineA makes of the look-alikes they use.
#pragma once

namespace sorvane {

inline wchar_t BestFit1252(wchar_t c)
{
    if (c == L'\uFF02' || c == L'\u02BA')
        return L'"';
    if (c == L'\uFF3C')
        return L'\\';
    return c == L'\u3000' || (c >= 0x2000 && c <= 0x2006) ? L' ' : c;
}

inline bool IsLookAlike1252(wchar_t c)
{
    return BestFit1252(c) != c;
}

}  // namespace sorvane
