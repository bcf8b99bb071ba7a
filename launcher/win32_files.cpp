#include "launcher/win32_files.h"

#include <windows.h>

#include <cstddef>
#include <utility>

#include "launcher/win32_buffer.h"
#include "launcher/win32_platform.h"

namespace sorvane {

static bool hasLongPathPrefix(const wchar_t* path)
{
    return path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}

// \\?\C:\dir becomes C:\dir, \\?\UNC\server\share becomes \\server\share.
static WideBuffer withoutLongPathPrefix(const WideBuffer& path)
{
    const wchar_t* text = path.c_str();
    WideBuffer plain;
    if (!(hasLongPathPrefix(text) && text[2] == L'?')) {
        plain.append(path);
    } else if ((text[4] == L'U' || text[4] == L'u') && (text[5] == L'N' || text[5] == L'n') &&
               (text[6] == L'C' || text[6] == L'c') && text[7] == L'\\') {
        plain.append(L"\\\\");
        plain.append(text + 8);
    } else {
        plain.append(text + 4);
    }
    return plain;
}

WideBuffer ModuleFilePath()
{
    WideBuffer path;
    FillBuffer(path, [](const wchar_t*, wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    // A launcher started through a \\?\ path reports it that way; the child's command line and
    // the updater want the ordinary form.
    return withoutLongPathPrefix(path);
}

WideBuffer SystemDirectory()
{
    WideBuffer directory;
    FillBuffer(directory, [](const wchar_t*, wchar_t* buffer, DWORD size) -> DWORD { return GetSystemDirectoryW(buffer, size); });
    return directory;
}

WideBuffer WindowsDirectory()
{
    WideBuffer directory;
    FillBuffer(directory, [](const wchar_t*, wchar_t* buffer, DWORD size) -> DWORD { return GetWindowsDirectoryW(buffer, size); });
    return directory;
}

WideBuffer FileSystemPath(const wchar_t* path)
{
    // CreateDirectoryW stops at MAX_PATH - 12 characters; below that every call takes the path as it is.
    WideBuffer result;
    size_t length = WideBuffer::length(path);
    if (length < MAX_PATH - 12 || hasLongPathPrefix(path)) {
        result.append(path, length);
        return result;
    }
    WideBuffer full;
    FillBuffer(
        full, [](const wchar_t* relative, wchar_t* buffer, DWORD size) { return GetFullPathNameW(relative, size, buffer, nullptr); },
        path);
    const wchar_t* text = full.c_str();
    if (full.size() >= 3 && text[1] == L':' && text[2] == L'\\') {
        result.append(L"\\\\?\\");
        result.append(full);
    } else if (full.size() >= 3 && text[0] == L'\\' && text[1] == L'\\' && !hasLongPathPrefix(text)) {
        result.append(L"\\\\?\\UNC\\");
        result.append(text + 2);
    } else {
        result.append(path, length);
    }
    return result;
}

bool Win32Platform::fileExists(const wchar_t* path)
{
    return GetFileAttributesW(FileSystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// GetShortPathNameW fails where there is no such path or no access to it (as under
// C:\Program Files\WindowsApps); a path with no 8.3 name comes back unchanged.
bool Win32Platform::shortPath(const wchar_t* path, WideBuffer& shortForm)
{
    shortForm.clear();
    // Past MAX_PATH only the \\?\ form is accepted, and the answer comes back in it too.
    WideBuffer longForm = FileSystemPath(path);
    WideBuffer result;
    if (longForm.failed() ||
        !FillBuffer(
            result, [](const wchar_t* longPath, wchar_t* buffer, DWORD size) { return GetShortPathNameW(longPath, buffer, size); },
            longForm.c_str()))
        return false;
    if (hasLongPathPrefix(longForm.c_str()) && !hasLongPathPrefix(path))
        shortForm = withoutLongPathPrefix(result);
    else
        shortForm = std::move(result);
    return !shortForm.failed();
}

}  // namespace sorvane
