#include "launcher/search_path.h"

namespace sorvane {

static bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool SearchPathEntries::next(const wchar_t*& begin, size_t& length)
{
    while (*rest_) {
        const wchar_t* end = rest_;
        while (*end && *end != L';')
            ++end;
        const wchar_t* first = rest_;
        const wchar_t* last = end;
        rest_ = *end ? end + 1 : end;
        while (first < last && *first == L' ')
            ++first;
        if (last - first >= 2 && *first == L'"' && last[-1] == L'"') {
            ++first;
            --last;
        }
        if (first < last) {
            begin = first;
            length = static_cast<size_t>(last - first);
            return true;
        }
    }
    return false;
}

bool IsFullyQualifiedPath(const wchar_t* path, size_t length)
{
    if (length >= 2 && isSeparator(path[0]) && isSeparator(path[1]))
        return true;
    wchar_t drive = path && length ? static_cast<wchar_t>(path[0] | 0x20) : 0;
    return length >= 3 && drive >= L'a' && drive <= L'z' && path[1] == L':' && isSeparator(path[2]);
}

}  // namespace sorvane
