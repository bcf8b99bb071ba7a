#include "launcher/program_search.h"

#include <windows.h>

#include "launcher/install_layout.h"
#include "launcher/win32_support.h"

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

template <typename Query>
static bool isFileInSystemDirectory(Query query, const wchar_t* suffix, const wchar_t* fileName, WideBuffer& path)
{
    WideBuffer directory;
    UINT n = query(nullptr, 0);
    if (n == 0 || !directory.reserve(n))
        return false;
    n = query(directory.data(), static_cast<UINT>(directory.capacity() + 1));
    if (n == 0 || n > directory.capacity())
        return false;
    directory.setSize(n);
    directory.append(suffix);
    return isFileIn(directory.c_str(), directory.size(), fileName, path);
}

bool FindProgram(const wchar_t* launcherPath, const wchar_t* fileName, WideBuffer& path)
{
    WideBuffer own = InstallDirectory(launcherPath);
    if (isFileIn(own.c_str(), own.size(), fileName, path))
        return true;
    if (isFileInSystemDirectory(GetSystemDirectoryW, L"", fileName, path) ||
        isFileInSystemDirectory(GetWindowsDirectoryW, L"\\System", fileName, path) ||
        isFileInSystemDirectory(GetWindowsDirectoryW, L"", fileName, path))
        return true;

    WideBuffer searchPath;
    if (!ReadEnvironmentVariable(L"PATH", searchPath))
        return false;
    const wchar_t* entry = searchPath.c_str();
    while (*entry) {
        const wchar_t* end = entry;
        while (*end && *end != L';')
            ++end;
        // Installers sometimes write an entry in quotes; the quotes are not part of the directory.
        const wchar_t* first = entry;
        const wchar_t* last = end;
        while (first < last && *first == L' ')
            ++first;
        if (last - first >= 2 && *first == L'"' && last[-1] == L'"') {
            ++first;
            --last;
        }
        if (isFileIn(first, static_cast<size_t>(last - first), fileName, path))
            return true;
        entry = *end ? end + 1 : end;
    }
    path.clear();
    return false;
}

}  // namespace sorvane
