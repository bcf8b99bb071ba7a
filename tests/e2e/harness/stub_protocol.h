// What the stubs and the fixture agree on: file names, the script language, the record format.
// Header-only so that the stub programs need no library; they must stay tiny and dependency-free.
//
// Script files (java-stub.txt, javaw-stub.txt), read from the stub's own directory, one command a line,
// blank lines and lines starting with '#' ignored, CR before LF tolerated:
//   out <hex>    one WriteFile of these bytes to stdout (hex pairs, spaces allowed; none = zero-byte write)
//   err <hex>    the same to stderr
//   sleep <ms>
//   hang         sleep until killed
//   exit <code>  decimal or 0x-hex; without it the stub exits 0 after the last line
// A script the stub cannot parse makes it exit with kBadScriptExitCode before doing anything else.
//
// java-ran.txt: one line per run of java.exe, appended at its start: the number of processes on its
// console (GetConsoleProcessList; 0 when it has none), a tab, GetCommandLineW() in UTF-8, '\n'.
//
// javaw-record.bin: UTF-16LE fields, each terminated by one U+0000, appended by every run of javaw.exe:
//   at start:  "run", pid, GetCommandLineW(), argc, argv[0..argc-1],
//              GetCommandLineA() (widened, '?' where the ANSI code page lacked a character), and then
//              whether the archive after -jar, the trust store, SorvaneInstallPath and the forwarded
//              argument open through that ANSI text, as a Java launcher opens them: "1", "0", or ""
//              when the command line has no such value
//   at exit:   "end", pid, end time, exit code
// Numbers are decimal; times are FILETIME values (UTC, 100 ns units, GetSystemTimeAsFileTime).
// argc makes empty arguments unambiguous; the pid pairs an "end" with its "run". A run with no "end"
// was killed or is still going.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvane::e2e::stub {

inline constexpr wchar_t kJavaScriptFile[] = L"java-stub.txt";
inline constexpr wchar_t kJavaRanFile[] = L"java-ran.txt";
inline constexpr wchar_t kJavawScriptFile[] = L"javaw-stub.txt";
inline constexpr wchar_t kJavawRecordFile[] = L"javaw-record.bin";
inline constexpr wchar_t kRunMarker[] = L"run";
inline constexpr wchar_t kEndMarker[] = L"end";
inline constexpr DWORD kBadScriptExitCode = 250;

// show_box.exe: MessageBoxW failed at once, as it does under Wine when there is no display.
inline constexpr DWORD kShowBoxNoDisplayExitCode = 3;

// Prefixes an absolute path with \\?\ so that paths longer than MAX_PATH work everywhere.
inline std::wstring extendedPath(std::wstring_view path) {
    if (path.starts_with(LR"(\\?\)")) return std::wstring(path);
    if (path.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + std::wstring(path.substr(2));
    return LR"(\\?\)" + std::wstring(path);
}

inline std::wstring modulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

inline std::wstring directoryOf(std::wstring_view path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash));
}

inline bool readWholeFile(const std::wstring& path, std::string& bytes) {
    const HANDLE file =
        CreateFileW(extendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return true;
}

// FILE_APPEND_DATA keeps each write whole even when several stubs append to one file.
inline bool appendToFile(const std::wstring& path, const void* data, std::size_t size) {
    const HANDLE file = CreateFileW(extendedPath(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

inline std::string toUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

struct Command {
    enum class Kind { Out, Err, Sleep, Hang, Exit } kind;
    std::string bytes;  // Out, Err
    DWORD number = 0;   // Sleep (ms), Exit (code)
};

namespace detail {
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline bool parseHex(std::string_view text, std::string& bytes) {
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        const int digit = hexDigit(c);
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    return high < 0;
}

inline bool parseNumber(std::string_view text, DWORD& value) {
    const std::string s(text);
    if (s.empty()) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull) return false;
    value = static_cast<DWORD>(v);
    return true;
}

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}
}  // namespace detail

inline bool parseScript(std::string_view text, std::vector<Command>& commands) {
    commands.clear();
    while (!text.empty()) {
        const auto eol = text.find('\n');
        const std::string_view line = detail::trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == '#') continue;

        const auto space = line.find_first_of(" \t");
        const std::string_view word = line.substr(0, space);
        const std::string_view rest =
            space == std::string_view::npos ? std::string_view() : detail::trim(line.substr(space + 1));
        Command command{Command::Kind::Hang, {}, 0};
        bool ok = true;
        if (word == "out" || word == "err") {
            command.kind = word == "out" ? Command::Kind::Out : Command::Kind::Err;
            ok = detail::parseHex(rest, command.bytes);
        } else if (word == "sleep") {
            command.kind = Command::Kind::Sleep;
            ok = detail::parseNumber(rest, command.number);
        } else if (word == "exit") {
            command.kind = Command::Kind::Exit;
            ok = detail::parseNumber(rest, command.number);
        } else if (word == "hang") {
            ok = rest.empty();
        } else {
            ok = false;
        }
        if (!ok) return false;
        commands.push_back(std::move(command));
    }
    return true;
}

}  // namespace sorvane::e2e::stub
