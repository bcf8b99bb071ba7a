// The runtime probe.
//
// The pipe is a named pipe so that its read end can wait with a deadline: a java that neither
// answers nor ends must not keep the launcher waiting. The probe inherits the write end and no
// other handle, and the launcher closes its own copy right after the start, so the output ends
// when java (and whatever it started) closes it. It is started detached: java.exe is a console
// program, and no run needs a console for it. The probe child is not waited for: a JVM takes its
// time to shut down after printing its version, and that time would be added to every start.
#include <windows.h>

#include <cstddef>

#include "launcher/handle.h"
#include "launcher/java_version.h"
#include "launcher/win32_platform.h"
#include "launcher/win32_process.h"

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

// Only the listed handles reach a child started with this attribute: a probe that inherited every
// inheritable handle of the launcher would hold, for instance, the pipe on which a caller reads the
// launcher's output, and that caller would see the output end only when the JVM had ended too.
// The list refers to *handle, which must outlive it.
class InheritedHandleList {
public:
    explicit InheritedHandleList(HANDLE* handle)
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        if (size == 0 || !storage_.reserve(size))
            return;
        auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
            return;
        list_ = list;
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle, sizeof *handle, nullptr,
                                       nullptr)) {
            DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    InheritedHandleList(const InheritedHandleList&) = delete;
    InheritedHandleList& operator=(const InheritedHandleList&) = delete;
    ~InheritedHandleList()
    {
        if (list_)
            DeleteProcThreadAttributeList(list_);
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    ByteBuffer storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

static bool holdsQuoteOrZero(const char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == '"' || bytes[i] == 0)
            return true;
    }
    return false;
}

// Reads into output until the version is complete, the limit is reached, the pipe ends or the
// deadline passes. False only on the deadline.
static bool readUntilAnswered(HANDLE readEnd, ByteBuffer& output, ULONGLONG deadline)
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return true;
    while (output.size() < kProbeOutputLimit) {
        // Straight into the output: a JVM writes its answer in a few lines, but what a monitoring
        // agent prints before it can run to kilobytes.
        size_t had = output.size();
        if (!output.reserve(kProbeOutputLimit))
            return true;
        OVERLAPPED read = {};
        read.hEvent = event.get();
        DWORD want = static_cast<DWORD>(kProbeOutputLimit - had);
        if (!ReadFile(readEnd, output.data() + had, want, nullptr, &read)) {
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
        output.setSize(had + got);
        // Only a double quote or a zero byte can complete the answer, so a long preamble read in
        // small pieces is not scanned again for every piece.
        if (holdsQuoteOrZero(output.c_str() + had, got) && ProbeOutputComplete(output.c_str(), output.size()))
            return true;
    }
    return true;
}

// Collects what java writes until the version is complete, 64 KiB have come, or the output ends.
bool Win32Platform::captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output)
{
    output.clear();
    ULONGLONG deadline = GetTickCount64() + kProbeTimeoutMs;
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!createProbePipe(readEnd, writeEnd))
        return false;
    HANDLE inherited = writeEnd.get();
    InheritedHandleList handleList(&inherited);
    if (!handleList.get())
        return false;

    // The launcher's own start-up record is the template: hidden, output and errors on the pipe.
    // A shim java.exe that starts the real one passes the hidden state on. Standard input is left
    // out: the probe inherits nothing but the pipe, so no handle of the launcher's is valid in it.
    STARTUPINFOEXW startup = {};
    GetStartupInfoW(&startup.StartupInfo);
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.hStdInput = nullptr;
    startup.StartupInfo.hStdOutput = inherited;
    startup.StartupInfo.hStdError = inherited;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.lpAttributeList = handleList.get();

    // Started by its full path, while the child still sees the command line "java -version".
    // Detached, java.exe (a console program) gets no console: a launcher started from the desktop
    // has none to share, and a console of its own would start a console host on every run.
    DWORD error = 0;
    UniqueHandle probe = StartProcess(javaPath, L"java -version", true, DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT,
                                      startup.StartupInfo, error);
    if (!probe)
        return false;
    writeEnd.reset();

    if (!readUntilAnswered(readEnd.get(), output, deadline)) {
        TerminateProcess(probe.get(), 1);
        output.clear();
        return false;
    }
    return true;
}

}  // namespace sorvane
