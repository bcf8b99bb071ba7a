#include "launcher/log/launcher_log.h"

#include <windows.h>

#include <ctime>

#include "launcher/handle.h"
#include "launcher/log/log_record.h"
#include "launcher/win32_environment.h"
#include "launcher/win32_files.h"

namespace sorvane {

// How long a record waits for other launchers writing the same file before it is given up.
static constexpr DWORD kLockPatienceMs = 2000;

static bool readLocalTime(CalendarTime& out)
{
    time_t now = time(nullptr);
    const tm* local = localtime(&now);
    if (!local)
        return false;
    out = {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec};
    return true;
}

static void ensureDirectory(const WideBuffer& directory)
{
    WideBuffer path = FileSystemPath(directory.c_str());
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        CreateDirectoryW(path.c_str(), nullptr);
}

// Appends the record in one write under an exclusive lock: appends from several processes are
// not atomic everywhere (Wine tears them), and a record must never land half-written. Under the
// lock the end of the file is ours, so a write that comes up short (a full disk or quota lands
// part of the bytes) is undone by cutting the file back to where the record began.
static void appendLocked(HANDLE file, const ByteBuffer& record)
{
    OVERLAPPED whole = {};
    ULONGLONG deadline = GetTickCount64() + kLockPatienceMs;
    while (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        if (GetTickCount64() >= deadline)
            return;
        Sleep(1);
    }
    FILE_END_OF_FILE_INFO before = {};
    if (GetFileSizeEx(file, &before.EndOfFile)) {
        // A handle with write access writes where it is told, not at the end.
        OVERLAPPED atEnd = {};
        atEnd.Offset = before.EndOfFile.LowPart;
        atEnd.OffsetHigh = static_cast<DWORD>(before.EndOfFile.HighPart);
        DWORD written = 0;
        if (!WriteFile(file, record.c_str(), static_cast<DWORD>(record.size()), &written, &atEnd) ||
            written != record.size())
            SetFileInformationByHandle(file, FileEndOfFileInfo, &before, sizeof before);
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
}

static UniqueHandle openLogFile(const WideBuffer& path, DWORD access)
{
    return UniqueHandle(CreateFileW(FileSystemPath(path.c_str()).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

WideBuffer WriteLogRecord(const char* message)
{
    // One reading of the clock names the file and stamps the record, so a record written at
    // midnight never lands in the other day's file.
    CalendarTime now;
    if (!message || !readLocalTime(now))
        return WideBuffer();
    WideBuffer fileName = LogFileName(now);

    // An unset USERPROFILE leaves the path at the root of the current drive.
    WideBuffer path;
    ReadEnvironmentVariable(L"USERPROFILE", path);
    for (const wchar_t* level : kLogDirectoryLevels) {
        path.append(level);
        ensureDirectory(path);
    }
    path.append(fileName);
    ByteBuffer record = LogRecord(now, message);
    if (path.failed() || record.failed() || record.size() > MAXDWORD)
        return fileName;

    // Write access is what lets a short write be cut back; a file whose permissions allow only
    // appending still gets its records, appended as before.
    UniqueHandle file = openLogFile(path, FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA);
    if (!file && GetLastError() == ERROR_ACCESS_DENIED)
        file = openLogFile(path, FILE_READ_DATA | FILE_APPEND_DATA);
    if (file)
        appendLocked(file.get(), record);
    return fileName;
}

}  // namespace sorvane
