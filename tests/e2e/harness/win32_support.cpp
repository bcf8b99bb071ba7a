#include "tests/e2e/harness/win32_support.h"

#include "tests/e2e/harness/stub_protocol.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace sorvane::e2e {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view text) { return stub::toUtf8(text); }

std::string lastErrorMessage(std::string_view what, DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return std::string(what) + ": " + narrow(text) + " (" + std::to_string(error) + ")";
}

void throwLastError(std::string_view what, DWORD error) { throw std::runtime_error(lastErrorMessage(what, error)); }

bool iequals(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool istartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

std::wstring longPath(std::wstring_view path) { return stub::extendedPath(path); }

std::wstring plainPath(std::wstring_view path) {
    if (path.starts_with(LR"(\\?\UNC\)")) return LR"(\\)" + std::wstring(path.substr(8));
    if (path.starts_with(LR"(\\?\)")) return std::wstring(path.substr(4));
    return std::wstring(path);
}

std::wstring joinPath(std::wstring_view dir, std::wstring_view name) {
    std::wstring out(dir);
    if (!out.empty() && out.back() != L'\\') out.push_back(L'\\');
    out.append(name);
    return out;
}

std::wstring fullPath(std::wstring_view path) {
    const std::wstring in(path);
    const DWORD n = GetFullPathNameW(in.c_str(), 0, nullptr, nullptr);
    if (n == 0) throwLastError("GetFullPathNameW " + narrow(path));
    std::wstring out(n, L'\0');
    const DWORD m = GetFullPathNameW(in.c_str(), n, out.data(), nullptr);
    out.resize(m);
    return out;
}

std::wstring longForm(const std::wstring& path) {
    std::wstring out(32768, L'\0');
    const DWORD n = GetLongPathNameW(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0 || n >= out.size()) return path;
    out.resize(n);
    return out;
}

bool sameFile(const std::wstring& a, const std::wstring& b) {
    const auto identity = [](std::wstring path) -> std::optional<BY_HANDLE_FILE_INFORMATION> {
        // Windows leaves a \\?\ path as it is, so a folder's trailing backslash would be part of its name.
        while (path.size() > 3 && path.back() == L'\\') path.pop_back();
        UniqueHandle file(CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
        return info;
    };
    const auto x = identity(a);
    const auto y = identity(b);
    return x && y && x->dwVolumeSerialNumber == y->dwVolumeSerialNumber && x->nFileIndexHigh == y->nFileIndexHigh &&
           x->nFileIndexLow == y->nFileIndexLow;
}

bool hasShortForm(const std::wstring& path) {
    std::wstring out(32768, L'\0');
    const DWORD n = GetShortPathNameW(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
    return n > 0 && n < out.size() && out.substr(0, n) != path;
}

bool codePageWrites(std::wstring_view text) {
    BOOL usedDefault = FALSE;
    return GetACP() == CP_UTF8 || text.empty() ||
           (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, &usedDefault) > 0 &&
            !usedDefault);
}

std::wstring thisModuleDirectory() { return stub::directoryOf(stub::modulePath()); }

bool exists(const std::wstring& path) { return GetFileAttributesW(longPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void createDirectories(const std::wstring& path) {
    const std::wstring plain = plainPath(path);
    // Creates each level in turn; the drive ("C:") or the UNC share is the fixed start.
    std::size_t pos = plain.starts_with(LR"(\\)") ? plain.find(L'\\', plain.find(L'\\', 2) + 1) : plain.find(L'\\');
    while (pos != std::wstring::npos) {
        pos = plain.find(L'\\', pos + 1);
        const std::wstring level = plain.substr(0, pos);
        if (level.empty() || level.back() == L'\\') continue;
        if (!CreateDirectoryW(longPath(level).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throwLastError("CreateDirectoryW " + narrow(level));
    }
}

void writeFile(const std::wstring& path, std::string_view bytes) {
    createDirectories(stub::directoryOf(plainPath(path)));
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush())
        throw std::runtime_error("cannot write " + narrow(path));
}

std::optional<std::string> readFile(const std::wstring& path) {
    std::string bytes;
    if (!stub::readWholeFile(path, bytes)) return std::nullopt;
    return bytes;
}

void copyFile(const std::wstring& from, const std::wstring& to) {
    createDirectories(stub::directoryOf(plainPath(to)));
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

void removeFile(const std::wstring& path) { std::filesystem::remove(path); }

namespace {
bool removeTreeOnce(const std::wstring& dir) {
    bool ok = true;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(longPath(joinPath(dir, L"*")).c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = joinPath(dir, name);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = removeTreeOnce(child) && ok;
            } else {
                SetFileAttributesW(longPath(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                ok = DeleteFileW(longPath(child).c_str()) && ok;
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return RemoveDirectoryW(longPath(dir).c_str()) && ok;
}
}  // namespace

bool removeTree(const std::wstring& path, DWORD retryMs) {
    const ULONGLONG deadline = GetTickCount64() + retryMs;
    for (;;) {
        if (!exists(path) || removeTreeOnce(path)) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(100);
    }
}

std::vector<std::wstring> listFiles(const std::wstring& dir, std::wstring_view pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(longPath(joinPath(dir, pattern)).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring nestedName(std::wstring_view piece, std::size_t minLength, std::size_t componentLength) {
    std::wstring out;
    std::size_t inComponent = 0;
    std::size_t next = 0;
    while (out.size() < minLength || inComponent == 0) {
        if (inComponent == componentLength) {
            // A trailing space or dot would be dropped from a component by the plain-path APIs.
            if (out.back() == L' ' || out.back() == L'.') out.back() = L'x';
            out.push_back(L'\\');
            inComponent = 0;
            continue;
        }
        out.push_back(piece[next]);
        next = (next + 1) % piece.size();
        ++inComponent;
    }
    while (!out.empty() && (out.back() == L' ' || out.back() == L'.')) out.back() = L'x';
    return out;
}

std::optional<std::wstring> environmentVariable(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring value(n, L'\0');
    const DWORD m = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(m);
    return value;
}

}  // namespace sorvane::e2e
