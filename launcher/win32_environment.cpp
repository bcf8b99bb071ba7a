#include "launcher/win32_environment.h"

#include <windows.h>

#include <cstddef>

#include "launcher/win32_buffer.h"
#include "launcher/win32_platform.h"

namespace sorvane {

bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value)
{
    return FillBuffer(
        value, [](const wchar_t* variable, wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(variable, buffer, size); },
        name);
}

bool ReadableInCodePage(unsigned codePage, const wchar_t* text)
{
    // A Java launcher before JDK 19, 17.0.5 and 11.0.17 (JDK-8272352) garbles whatever is not
    // ASCII on a UTF-8 command line, so with UTF-8 as the system code page (a Windows 10 option)
    // only ASCII is readable. The flags below are not allowed with it.
    size_t length = WideBuffer::length(text);
    if (codePage == CP_UTF8) {
        for (size_t i = 0; i < length; ++i) {
            if (text[i] >= 0x80)
                return false;
        }
        return true;
    }
    if (length == 0)
        return true;
    if (length > 0x7fffffff)
        return false;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), nullptr, 0, nullptr,
                                    &usedDefault);
    return bytes > 0 && !usedDefault;
}

bool Win32Platform::readableByJava(const wchar_t* text)
{
    return ReadableInCodePage(GetACP(), text);
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
