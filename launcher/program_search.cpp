// Where java.exe and javaw.exe are looked for: the install directory (launcher.exe's own), the
// system directory, the 16-bit system directory, the Windows directory, then each PATH entry.
// That is CreateProcessW's order with the current directory left out, as with
// NoDefaultCurrentDirectoryInExePath, so that a java.exe planted in whatever directory the
// launcher was started from is never run. For the same reason a PATH entry that is not fully
// qualified (".", "tools\bin", "C:tools", "\tools") is skipped: it names the current directory or
// a place relative to it.
#include <windows.h>

#include <cstddef>

#include "launcher/search_path.h"
#include "launcher/win32_environment.h"
#include "launcher/win32_files.h"
#include "launcher/win32_platform.h"

namespace sorvane {

static bool isFileIn(const wchar_t* directory, size_t length, const wchar_t* fileName, WideBuffer& path)
{
    if (length == 0)
        return false;
    path.clear();
    path.append(directory, length);
    wchar_t last = directory[length - 1];
    if (last != L'\\' && last != L'/')
        path.append(L'\\');
    path.append(fileName);
    DWORD attributes = GetFileAttributesW(FileSystemPath(path.c_str()).c_str());
    return !path.failed() && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool isFileInSystemDirectory(const WideBuffer& base, const wchar_t* suffix, const wchar_t* fileName, WideBuffer& path)
{
    if (base.empty())
        return false;
    WideBuffer directory;
    directory.append(base);
    directory.append(suffix);
    return isFileIn(directory.c_str(), directory.size(), fileName, path);
}

bool Win32Platform::findProgram(const wchar_t* fileName, WideBuffer& path)
{
    if (isFileIn(installDirectory_.c_str(), installDirectory_.size(), fileName, path))
        return true;
    WideBuffer windows = WindowsDirectory();
    if (isFileInSystemDirectory(SystemDirectory(), L"", fileName, path) ||
        isFileInSystemDirectory(windows, L"\\System", fileName, path) ||
        isFileInSystemDirectory(windows, L"", fileName, path))
        return true;

    WideBuffer searchPath;
    if (ReadEnvironmentVariable(L"PATH", searchPath)) {
        SearchPathEntries entries(searchPath.c_str());
        const wchar_t* entry = nullptr;
        size_t length = 0;
        while (entries.next(entry, length)) {
            if (IsFullyQualifiedPath(entry, length) && isFileIn(entry, length, fileName, path))
                return true;
        }
    }
    path.clear();
    return false;
}

}  // namespace sorvane
