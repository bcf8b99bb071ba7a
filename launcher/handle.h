// Owns one kernel handle. Win32 fails with null or INVALID_HANDLE_VALUE, by call; both are kept
// as "none", so an owner is either empty or holds a handle to close. Closing keeps GetLastError()
// so that callers can still report the failure that made them close.
#pragma once

#include <windows.h>

namespace sorvane {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) { reset(handle); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    bool valid() const { return handle_ != nullptr; }
    explicit operator bool() const { return valid(); }
    HANDLE get() const { return handle_; }
    HANDLE release()
    {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    // Closes the handle held, unless it is the one given (resetting an owner to its own handle
    // keeps it), and takes the new one.
    void reset(HANDLE handle = nullptr)
    {
        if (handle == INVALID_HANDLE_VALUE)
            handle = nullptr;
        if (handle_ && handle_ != handle) {
            DWORD error = GetLastError();
            CloseHandle(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace sorvane
