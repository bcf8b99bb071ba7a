#include "launcher/win32_support.h"

#include <cstddef>
#include <utility>

namespace sorvane {

static void writeStandardOutput(const void* bytes, DWORD count)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || count == 0)
        return;
    DWORD written = 0;
    WriteFile(out, bytes, count, &written, nullptr);
}

void EchoLine(const char* line)
{
    ByteBuffer text;
    text.append(line);
    text.append("\r\n");
    if (!text.failed())
        writeStandardOutput(text.c_str(), static_cast<DWORD>(text.size()));
}

void EchoLine(const wchar_t* line)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    size_t length = WideBuffer::length(line);
    if (length > 0x7fffffff)
        return;
    ByteBuffer text;
    int bytes = length ? WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(length), nullptr, 0, nullptr, nullptr) : 0;
    if (bytes > 0 && text.reserve(static_cast<size_t>(bytes))) {
        WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(length), text.data(), bytes, nullptr, nullptr);
        text.setSize(static_cast<size_t>(bytes));
    }
    EchoLine(text.c_str());
}

bool ReadEnvironmentVariable(const wchar_t* name, WideBuffer& value)
{
    value.clear();
    DWORD capacity = 256;
    for (;;) {
        if (!value.reserve(capacity))
            return false;
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.capacity() + 1));
        if (n == 0) {
            value.setSize(0);
            return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        if (n <= value.capacity()) {
            value.setSize(n);
            return true;
        }
        capacity = n;   // n counts the terminator when the buffer was too small
    }
}

// For GetSystemDirectoryW and GetWindowsDirectoryW, which report the size they need, terminator
// included, when the buffer is too small.
static WideBuffer readDirectory(UINT(WINAPI* query)(LPWSTR, UINT))
{
    WideBuffer directory;
    for (UINT capacity = MAX_PATH;;) {
        if (!directory.reserve(capacity))
            return directory;
        UINT n = query(directory.data(), static_cast<UINT>(directory.capacity() + 1));
        if (n == 0)
            return directory;
        if (n <= directory.capacity()) {
            directory.setSize(n);
            return directory;
        }
        capacity = n;
    }
}

WideBuffer SystemDirectory()
{
    return readDirectory(GetSystemDirectoryW);
}

WideBuffer WindowsDirectory()
{
    return readDirectory(GetWindowsDirectoryW);
}

static bool hasLongPathPrefix(const wchar_t* path)
{
    return path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}

// \\?\C:\dir becomes C:\dir, \\?\UNC\server\share becomes \\server\share.
static WideBuffer withoutLongPathPrefix(const WideBuffer& path)
{
    const wchar_t* text = path.c_str();
    WideBuffer plain;
    if (!(hasLongPathPrefix(text) && text[2] == L'?')) {
        plain.append(path);
    } else if ((text[4] == L'U' || text[4] == L'u') && (text[5] == L'N' || text[5] == L'n') &&
               (text[6] == L'C' || text[6] == L'c') && text[7] == L'\\') {
        plain.append(L"\\\\");
        plain.append(text + 8);
    } else {
        plain.append(text + 4);
    }
    return plain;
}

WideBuffer ModuleFilePath()
{
    WideBuffer path;
    for (DWORD capacity = 512; capacity <= 65536; capacity *= 2) {
        if (!path.reserve(capacity))
            break;
        DWORD size = static_cast<DWORD>(path.capacity() + 1);
        DWORD n = GetModuleFileNameW(nullptr, path.data(), size);
        if (n == 0)
            break;
        // A path that was cut short fills the whole buffer; GetLastError() is not looked at, since
        // a call that succeeds leaves whatever error an earlier call had set.
        if (n < size) {
            path.setSize(n);
            break;
        }
    }
    // A launcher started through a \\?\ path reports it that way; the child's command line and
    // the updater want the ordinary form.
    return withoutLongPathPrefix(path);
}

WideBuffer FileSystemPath(const wchar_t* path)
{
    // CreateDirectoryW stops at MAX_PATH - 12 characters; below that every call takes the path as it is.
    WideBuffer result;
    size_t length = WideBuffer::length(path);
    if (length < MAX_PATH - 12 || hasLongPathPrefix(path)) {
        result.append(path, length);
        return result;
    }
    WideBuffer full;
    DWORD capacity = static_cast<DWORD>(length + 16);
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!full.reserve(capacity))
            break;
        DWORD n = GetFullPathNameW(path, static_cast<DWORD>(full.capacity() + 1), full.data(), nullptr);
        if (n == 0)
            break;
        if (n <= full.capacity()) {
            full.setSize(n);
            break;
        }
        capacity = n;
    }
    const wchar_t* text = full.c_str();
    if (full.size() >= 3 && text[1] == L':' && text[2] == L'\\') {
        result.append(L"\\\\?\\");
        result.append(full);
    } else if (full.size() >= 3 && text[0] == L'\\' && text[1] == L'\\' && !hasLongPathPrefix(text)) {
        result.append(L"\\\\?\\UNC\\");
        result.append(text + 2);
    } else {
        result.append(path, length);
    }
    return result;
}

bool StartProcess(const wchar_t* application, const wchar_t* commandLine, bool inheritHandles, DWORD flags,
                  STARTUPINFOW& startup, PROCESS_INFORMATION& process, DWORD& error)
{
    for (int attempt = 1;; ++attempt) {
        WideBuffer writableLine;   // CreateProcessW may write into its command line
        writableLine.append(commandLine);
        if (writableLine.failed()) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        if (CreateProcessW(application, writableLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr, nullptr,
                           &startup, &process))
            return true;
        error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_INTERNAL_ERROR) || attempt == kStartAttempts)
            return false;
        Sleep(kStartRetryDelayMs);
    }
}

bool PathExists(const wchar_t* path)
{
    return GetFileAttributesW(FileSystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ConvertsToAnsiCodePage(const wchar_t* text)
{
    size_t length = WideBuffer::length(text);
    // UTF-8 as the system code page (a Windows 10 option) holds every character; the flags below
    // are not allowed with it.
    if (length == 0 || GetACP() == CP_UTF8)
        return true;
    if (length > 0x7fffffff)
        return false;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), nullptr, 0, nullptr,
                                    &usedDefault);
    return bytes > 0 && !usedDefault;
}

bool ShortPathName(const wchar_t* path, WideBuffer& shortForm)
{
    shortForm.clear();
    // Past MAX_PATH only the \\?\ form is accepted, and the answer comes back in it too.
    WideBuffer longForm = FileSystemPath(path);
    if (longForm.failed())
        return false;
    WideBuffer result;
    for (DWORD capacity = static_cast<DWORD>(longForm.size() + 1);;) {
        if (!result.reserve(capacity))
            return false;
        DWORD n = GetShortPathNameW(longForm.c_str(), result.data(), static_cast<DWORD>(result.capacity() + 1));
        if (n == 0)
            return false;
        if (n <= result.capacity()) {
            result.setSize(n);
            break;
        }
        capacity = n;   // n counts the terminator when the buffer was too small
    }
    if (hasLongPathPrefix(longForm.c_str()) && !hasLongPathPrefix(path))
        shortForm = withoutLongPathPrefix(result);
    else
        shortForm = std::move(result);
    return !shortForm.failed();
}

}  // namespace sorvane
