// The runtime probe.
//
// The pipe is a named pipe so that its read end can wait with a deadline: a java that neither
// answers nor ends must not keep the launcher waiting. Only the write end is inheritable, and
// the launcher closes its own copy right after the start, so the output ends when java (and
// whatever it started) closes it. The probe child is not waited for: a JVM takes its time to
// shut down after printing its version, and that time would be added to every start.
#include "launcher/probe.h"

#include "launcher/handle.h"
#include "launcher/java_version.h"

namespace sorvane {

static bool createProbePipe(UniqueHandle& readEnd, UniqueHandle& writeEnd)
{
    // One probe per process: the process id and the fine-grained clock make the name unique and
    // hard to guess, and the first-instance flag makes a clash fail (the probe then finds no
    // runtime) instead of joining a pipe someone else made.
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    WideBuffer name;
    name.append(L"\\\\.\\pipe\\sorvane-launcher-probe-");
    appendDecimal(name, GetCurrentProcessId());
    name.append(L'-');
    appendDecimal(name, static_cast<unsigned long long>(counter.QuadPart));
    if (name.failed())
        return false;

    readEnd.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   4096, 4096, 0, nullptr));
    if (!readEnd)
        return false;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    writeEnd.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return writeEnd.valid();
}

// Reads into output until the version is complete, the limit is reached, the pipe ends or the
// deadline passes. False only on the deadline.
static bool readUntilAnswered(HANDLE readEnd, ByteBuffer& output, ULONGLONG deadline)
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return true;
    char chunk[kProbeOutputLimit];
    while (output.size() < kProbeOutputLimit && !ProbeOutputComplete(output.c_str(), output.size())) {
        OVERLAPPED read = {};
        read.hEvent = event.get();
        DWORD want = static_cast<DWORD>(kProbeOutputLimit - output.size());
        if (!ReadFile(readEnd, chunk, want, nullptr, &read)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return true;   // the pipe has ended
            ULONGLONG now = GetTickCount64();
            DWORD remaining = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
            if (WaitForSingleObject(event.get(), remaining) != WAIT_OBJECT_0) {
                CancelIo(readEnd);
                DWORD ignored = 0;
                GetOverlappedResult(readEnd, &read, &ignored, TRUE);
                return false;
            }
        }
        DWORD got = 0;
        if (!GetOverlappedResult(readEnd, &read, &got, FALSE))
            return true;
        output.append(chunk, got);
        if (output.failed())
            return true;
    }
    return true;
}

bool CaptureJavaVersionOutput(const wchar_t* javaPath, ByteBuffer& output, DWORD timeoutMs)
{
    output.clear();
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!createProbePipe(readEnd, writeEnd))
        return false;

    // The launcher's own start-up record is the template: hidden, output and errors on the pipe.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    startup.cb = sizeof startup;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.wShowWindow = SW_HIDE;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;

    // Started by its full path, while the child still sees the command line "java -version".
    wchar_t commandLine[] = L"java -version";
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(javaPath, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return false;
    UniqueHandle probe(process.hProcess);
    CloseHandle(process.hThread);
    writeEnd.reset();

    if (!readUntilAnswered(readEnd.get(), output, deadline)) {
        TerminateProcess(probe.get(), 1);
        output.clear();
        return false;
    }
    return true;
}

}  // namespace sorvane
