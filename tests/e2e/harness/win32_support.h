// Small Win32 helpers for the end-to-end harness: text, files and directories. Handles are owned
// by the launcher's own UniqueHandle.
// Failures throw std::runtime_error; GoogleTest reports them as a failed test with the message.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/handle.h"

namespace sorvane::e2e {

using sorvane::UniqueHandle;

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view text);  // UTF-8

// "what: <system message> (code)" for the last error, for exceptions and test messages.
std::string lastErrorMessage(std::string_view what, DWORD error = GetLastError());
[[noreturn]] void throwLastError(std::string_view what, DWORD error = GetLastError());

bool iequals(std::wstring_view a, std::wstring_view b);  // ordinal, case-insensitive
bool istartsWith(std::wstring_view text, std::wstring_view prefix);

// The \\?\ form of an absolute path, which the file operations below use where a path may be long.
std::wstring longPath(std::wstring_view path);
// The plain form: drops a \\?\ prefix.
std::wstring plainPath(std::wstring_view path);
std::wstring joinPath(std::wstring_view dir, std::wstring_view name);
std::wstring fullPath(std::wstring_view path);  // resolves "..", "." and relative paths
// The long form of an existing path (8.3 names expanded).
std::wstring longForm(const std::wstring& path);
// Whether two existing paths name the same file or folder, in whatever form each is written (8.3
// or long, any case, a trailing backslash or none): how a test checks a path the launcher handed over.
bool sameFile(const std::wstring& a, const std::wstring& b);
// Whether an existing path has an 8.3 form of its own (volumes may have them turned off).
bool hasShortForm(const std::wstring& path);

// Whether the machine's ANSI code page, in which a Java launcher reads its command line, writes
// text as it is: what a test's row may need of it.
bool codePageWrites(std::wstring_view text);

std::wstring thisModuleDirectory();

bool exists(const std::wstring& path);
void createDirectories(const std::wstring& path);
std::optional<std::string> readFile(const std::wstring& path);     // nullopt when absent
// These three (std::filesystem) take paths within MAX_PATH, as the sandbox's own files are; the
// other helpers take a profile or a log folder of any length.
void writeFile(const std::wstring& path, std::string_view bytes);  // replaces, creating parent dirs
void copyFile(const std::wstring& from, const std::wstring& to);   // replaces, creating parent dirs
void removeFile(const std::wstring& path);                         // no error when absent
// Deletes a tree; retries for up to retryMs since Wine releases files of just-ended processes late.
bool removeTree(const std::wstring& path, DWORD retryMs = 5000);
// Names (not paths) of the entries in dir matching pattern, sorted; dir may be past MAX_PATH.
std::vector<std::wstring> listFiles(const std::wstring& dir, std::wstring_view pattern = L"*");

// Builds a relative path at least minLength characters long out of repeats of piece, split into
// components of at most componentLength characters, for profile paths far beyond MAX_PATH.
// Wine keeps each component within 255 UTF-8 bytes on the host, so non-ASCII pieces need shorter
// components.
std::wstring nestedName(std::wstring_view piece, std::size_t minLength, std::size_t componentLength = 100);

std::optional<std::wstring> environmentVariable(const wchar_t* name);

}  // namespace sorvane::e2e
