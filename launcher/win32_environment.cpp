#include "launcher/win32_environment.h"

#include <windows.h>

#include <cstddef>

#include "launcher/win32_buffer.h"
#include "launcher/win32_platform.h"

namespace sorvane {

bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value)
{
    return FillBuffer(value, [name](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(name, buffer, size); });
}

// Readable: every character of text has its own character in the active ANSI code page, so no
// best-fit look-alike ('ł' for 'l') and no default character ('?') is needed.
bool Win32Platform::readableByJava(const wchar_t* text)
{
    size_t length = WideBuffer::length(text);
    // UTF-8 as the system code page (a Windows 10 option) holds every character; the flags below
    // are not allowed with it.
    if (length == 0 || GetACP() == CP_UTF8)
        return true;
    if (length > 0x7fffffff)
        return false;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), nullptr, 0, nullptr,
                                    &usedDefault);
    return bytes > 0 && !usedDefault;
}

// Decided by the code page's own best fit (WideCharToMultiByte without WC_NO_BEST_FIT_CHARS).
static bool isLookAlike(wchar_t c)
{
    // A character of the code page's own converts to itself, and no code page has a non-ASCII
    // character at the split's four; with UTF-8 as the system code page nothing converts to a
    // single byte but ASCII, so there are no look-alikes at all.
    char converted[4];
    if (c < 0x80 || WideCharToMultiByte(CP_ACP, 0, &c, 1, converted, sizeof converted, nullptr, nullptr) != 1)
        return false;
    return converted[0] == '"' || converted[0] == '\\' || converted[0] == ' ' || converted[0] == '\t';
}

LookAlikeTest Win32Platform::lookAlikeTest()
{
    return isLookAlike;
}

}  // namespace sorvane
