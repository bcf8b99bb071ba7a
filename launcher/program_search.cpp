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

namespace {

// One place of the search after another, each told to the observer when there is one.
class Search {
public:
    Search(const wchar_t* fileName, WideBuffer& path, SearchObserver* observer)
        : fileName_(fileName), path_(path), observer_(observer)
    {
    }

    bool found(SearchPlace place, const wchar_t* directory, size_t length)
    {
        bool there = isFileIn(directory, length, fileName_, path_);
        tell(place, directory, length, there ? SearchOutcome::Found : SearchOutcome::NotThere);
        return there;
    }
    bool foundIn(SearchPlace place, const WideBuffer& base, const wchar_t* suffix)
    {
        if (base.empty())
            return false;
        WideBuffer directory;
        directory.append(base);
        directory.append(suffix);
        return found(place, directory.c_str(), directory.size());
    }
    void tell(SearchPlace place, const wchar_t* directory, size_t length, SearchOutcome outcome)
    {
        if (observer_)
            observer_->looked(place, directory, length, outcome);
    }

private:
    const wchar_t* fileName_;
    WideBuffer& path_;
    SearchObserver* observer_;
};

}  // namespace

bool Win32Platform::findProgram(const wchar_t* fileName, WideBuffer& path)
{
    Search search(fileName, path, searchObserver_);
    if (search.found(SearchPlace::InstallDirectory, installDirectory_.c_str(), installDirectory_.size()))
        return true;
    WideBuffer windows = WindowsDirectory();
    if (search.foundIn(SearchPlace::SystemDirectory, SystemDirectory(), L"") ||
        search.foundIn(SearchPlace::SystemDirectory16, windows, L"\\System") ||
        search.foundIn(SearchPlace::WindowsDirectory, windows, L""))
        return true;

    WideBuffer searchPath;
    if (ReadEnvironmentVariable(L"PATH", searchPath)) {
        SearchPathEntries entries(searchPath.c_str());
        const wchar_t* entry = nullptr;
        size_t length = 0;
        while (entries.next(entry, length)) {
            if (!IsFullyQualifiedPath(entry, length))
                search.tell(SearchPlace::PathEntry, entry, length, SearchOutcome::NotFullyQualified);
            else if (search.found(SearchPlace::PathEntry, entry, length))
                return true;
        }
    }
    path.clear();
    return false;
}

}  // namespace sorvane
