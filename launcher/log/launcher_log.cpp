#include "launcher/log/launcher_log.h"

#include <windows.h>

#include "launcher/handle.h"
#include "launcher/log/log_record.h"
#include "launcher/win32_environment.h"
#include "launcher/win32_files.h"

namespace sorvane {

// How long a record waits for the day's file, held by a scanner or locked by other launchers
// writing it, before it is given up.
static constexpr DWORD kPatienceMs = 2000;

// The machine's local time as Windows keeps it. The C runtime's localtime would read TZ, which a
// Cygwin or MSYS shell sets to a zone name that it takes for UTC, and would keep the zone it read
// first for the whole run.
static CalendarTime localTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
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
static bool appendLocked(HANDLE file, const ByteBuffer& record, ULONGLONG deadline)
{
    OVERLAPPED whole = {};
    while (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        if (GetTickCount64() >= deadline)
            return false;
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
    return true;
}

static UniqueHandle openLogFile(const WideBuffer& path, DWORD access)
{
    return UniqueHandle(CreateFileW(FileSystemPath(path.c_str()).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Write access is what lets a short write be cut back; a file whose permissions allow only
// appending still gets its records, appended as before. A scanner that has the fresh file open
// (Defender, SentinelOne) makes every open fail with a sharing violation, whatever sharing is
// asked, for as long as it reads: that one is waited out.
static UniqueHandle openLogFileWithin(const WideBuffer& path, ULONGLONG deadline)
{
    for (;;) {
        UniqueHandle file = openLogFile(path, FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA);
        if (!file && GetLastError() == ERROR_ACCESS_DENIED)
            file = openLogFile(path, FILE_READ_DATA | FILE_APPEND_DATA);
        if (file || GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() >= deadline)
            return file;
        Sleep(10);
    }
}

WideBuffer LauncherLog::write(const char* message)
{
    if (!message)
        return WideBuffer();
    // One reading of the clock names the file and stamps the record, so a record written at
    // midnight never lands in the other day's file.
    const CalendarTime now = localTime();
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

    // Once a record is lost, the file is taken to be unavailable for the rest of the run: later
    // records try once and do not wait, so a log held for good delays a start by one patience.
    const ULONGLONG deadline = patient_ ? GetTickCount64() + kPatienceMs : 0;
    UniqueHandle file = openLogFileWithin(path, deadline);
    if (!file || !appendLocked(file.get(), record, deadline))
        patient_ = false;
    return fileName;
}

}  // namespace sorvane
