#include "launcher/win32_buffer.h"

#include <cstddef>

namespace sorvane {

bool FillBuffer(WideBuffer& out, FillCall fill, const wchar_t* input)
{
    out.clear();
    for (size_t needed = MAX_PATH; needed <= 65536;) {
        if (!out.reserve(needed))
            return false;
        DWORD size = static_cast<DWORD>(out.capacity() + 1);
        SetLastError(ERROR_SUCCESS);
        DWORD answer = fill(input, out.data(), size);
        if (answer == 0) {
            out.setSize(0);
            return GetLastError() == ERROR_SUCCESS;
        }
        if (answer < size) {
            out.setSize(answer);
            return true;
        }
        needed = answer > size ? answer : size * 2;
    }
    out.clear();
    return false;
}

}  // namespace sorvane
