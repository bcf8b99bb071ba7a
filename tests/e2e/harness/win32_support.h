// Small Win32 helpers for the end-to-end harness: handles, text, files and directories.
// Failures throw std::runtime_error; GoogleTest reports them as a failed test with the message.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane::e2e {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }
    void reset(HANDLE handle = nullptr) {
        if (handle_) CloseHandle(handle_);
        handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE handle_ = nullptr;
};

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view text);  // UTF-8

// "what: <system message> (code)" for the last error, for exceptions and test messages.
std::string lastErrorMessage(std::string_view what, DWORD error = GetLastError());
[[noreturn]] void throwLastError(std::string_view what, DWORD error = GetLastError());

bool iequals(std::wstring_view a, std::wstring_view b);  // ordinal, case-insensitive
bool istartsWith(std::wstring_view text, std::wstring_view prefix);

// The \\?\ form of an absolute path; every file operation below uses it, so long paths just work.
std::wstring longPath(std::wstring_view path);
// The plain form: drops a \\?\ prefix.
std::wstring plainPath(std::wstring_view path);
std::wstring joinPath(std::wstring_view dir, std::wstring_view name);
std::wstring fullPath(std::wstring_view path);  // resolves "..", "." and relative paths

std::wstring thisModulePath();
std::wstring thisModuleDirectory();

bool exists(const std::wstring& path);
bool isDirectory(const std::wstring& path);
void createDirectories(const std::wstring& path);
void writeFile(const std::wstring& path, std::string_view bytes);  // replaces, creating parent dirs
std::optional<std::string> readFile(const std::wstring& path);     // nullopt when absent
void copyFile(const std::wstring& from, const std::wstring& to);   // replaces, creating parent dirs
void removeFile(const std::wstring& path);                         // no error when absent
// Deletes a tree; retries for up to retryMs since Wine releases files of just-ended processes late.
bool removeTree(const std::wstring& path, DWORD retryMs = 5000);
// Names (not paths) of the entries in dir matching pattern, sorted.
std::vector<std::wstring> listFiles(const std::wstring& dir, std::wstring_view pattern = L"*");

// Builds a relative path at least minLength characters long out of repeats of piece, split into
// components of at most componentLength characters, for profile paths far beyond MAX_PATH.
// Wine keeps each component within 255 UTF-8 bytes on the host, so non-ASCII pieces need shorter
// components.
std::wstring nestedName(std::wstring_view piece, std::size_t minLength, std::size_t componentLength = 100);

std::optional<std::wstring> environmentVariable(const wchar_t* name);

}  // namespace sorvane::e2e
