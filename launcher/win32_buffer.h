// The one grow-and-retry loop for Win32 calls that fill a caller's buffer.
#pragma once

#include <windows.h>

#include "launcher/buffer.h"

namespace sorvane {

// A reference to any callable DWORD(wchar_t* buffer, DWORD size) that outlives the call it is
// passed to, as a lambda written in the call does. One loop serves every such call, instead of one
// copy of it per call.
class FillCall {
public:
    template <typename Call>
    FillCall(const Call& call)
        : call_(&call),
          invoke_([](const void* c, wchar_t* buffer, DWORD size) { return (*static_cast<const Call*>(c))(buffer, size); })
    {
    }
    DWORD operator()(wchar_t* buffer, DWORD size) const { return invoke_(call_, buffer, size); }

private:
    const void* call_;
    DWORD (*invoke_)(const void* call, wchar_t* buffer, DWORD size);
};

// Calls fill(buffer, size), size counting the terminator, until its answer fits into out. Such
// calls answer with the characters written, terminator excluded, when they fit; when they do
// not, with the size they need, terminator included, or (GetModuleFileNameW) with size itself,
// the text cut short. 0 is a failure, or an empty text when the call set no error: true for the
// latter (an environment variable set to nothing). No answer past 65,536 characters is taken: no
// Windows path or environment value is longer than 32,767.
bool FillBuffer(WideBuffer& out, FillCall fill);

}  // namespace sorvane
