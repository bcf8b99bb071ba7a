// How the launcher reads PATH when it looks for java.exe and javaw.exe.
#pragma once

#include <cstddef>

namespace sorvane {

// The entries of a PATH value, one at a time. Entries are separated by ';'; leading spaces and one
// pair of surrounding quotes are dropped, since installers sometimes write an entry in quotes.
class SearchPathEntries {
public:
    explicit SearchPathEntries(const wchar_t* value) : rest_(value ? value : L"") {}

    // The next entry as [begin, begin + length); false when there is none left.
    bool next(const wchar_t*& begin, size_t& length);

private:
    const wchar_t* rest_;
};

// True for a path that names one place whatever the current directory and drive are: C:\dir,
// C:/dir, \\server\share\dir and the \\?\ and \\.\ forms. ".", "tools\bin", "C:tools" and "\tools"
// all depend on the current directory (or drive), so a PATH entry like them is never searched.
bool IsFullyQualifiedPath(const wchar_t* path, size_t length);

}  // namespace sorvane
