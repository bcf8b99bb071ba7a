#include "tests/e2e/harness/process.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <stdexcept>
#include <utility>

namespace sorvane::e2e {

namespace {

std::wstring_view nameOf(std::wstring_view entry) {
    // Entries like "=C:=C:\dir" keep their leading '=' in the name.
    const auto eq = entry.find(L'=', 1);
    return entry.substr(0, eq);
}

std::uint64_t toUint64(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::wstring imagePathOf(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
    path.resize(size);
    return plainPath(path);
}

// Opens a listed process again by its id, but only while that id still names the same image: once
// the process has ended its id may be handed to another program (another test, even), which must
// be neither waited for nor killed. The open handle keeps the id from changing hands afterwards.
UniqueHandle reopen(const ProcessEntry& p, DWORD access) {
    UniqueHandle handle(OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.processId));
    if (handle && !iequals(imagePathOf(handle.get()), p.imagePath)) return {};
    return handle;
}

struct Pipe {
    UniqueHandle read;
    UniqueHandle write;  // inheritable end for the child
};

Pipe makePipe() {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!CreatePipe(&r, &w, &sa, 0)) throwLastError("CreatePipe");
    Pipe pipe{UniqueHandle(r), UniqueHandle(w)};
    SetHandleInformation(pipe.read.get(), HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

// Reads whatever is in the pipe now, without blocking (a grandchild may hold the write end forever).
// True once the pipe has ended: it is empty and every write end is closed.
bool drain(HANDLE pipe, std::string& all) {
    bool ended = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            ended = GetLastError() == ERROR_BROKEN_PIPE;
            break;
        }
        if (available == 0) break;
        std::string buffer(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe, buffer.data(), available, &read, nullptr) || read == 0) break;
        all.append(buffer.data(), read);
    }
    return ended;
}

}  // namespace

std::vector<std::wstring> currentEnvironment() {
    std::vector<std::wstring> env;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; p && *p; p += wcslen(p) + 1) env.emplace_back(p);
    FreeEnvironmentStringsW(block);
    return env;
}

std::optional<std::wstring> findVariable(const std::vector<std::wstring>& env, std::wstring_view name) {
    for (const std::wstring& entry : env) {
        if (iequals(nameOf(entry), name)) {
            const auto eq = entry.find(L'=', 1);
            return eq == std::wstring::npos ? std::wstring() : entry.substr(eq + 1);
        }
    }
    return std::nullopt;
}

void setVariable(std::vector<std::wstring>& env, std::wstring_view name, const std::optional<std::wstring>& value) {
    std::erase_if(env, [&](const std::wstring& entry) { return iequals(nameOf(entry), name); });
    if (value) env.push_back(std::wstring(name) + L"=" + *value);
}

std::wstring environmentBlock(std::vector<std::wstring> env) {
    std::stable_sort(env.begin(), env.end(), [](const std::wstring& a, const std::wstring& b) {
        const std::wstring_view na = nameOf(a);
        const std::wstring_view nb = nameOf(b);
        return CompareStringOrdinal(na.data(), static_cast<int>(na.size()), nb.data(), static_cast<int>(nb.size()),
                                    TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : env) {
        block += entry;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    if (env.empty()) block.push_back(L'\0');
    return block;
}

std::wstring quoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
        return std::wstring(argument);
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes only escape when a quote follows: double them there, leave them alone elsewhere.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

PROCESS_INFORMATION startProcess(const ProcessOptions& how, STARTUPINFOW& startup, bool inheritHandles) {
    std::wstring block;
    if (how.env) block = environmentBlock(*how.env);
    // Under Wine a start has been seen to fail once in a while with ERROR_INTERNAL_ERROR while
    // other tests ran beside it; that is the harness's machine, not the launcher, so try again.
    for (int attempt = 1;; ++attempt) {
        std::wstring commandLine = how.commandLine;  // CreateProcessW may write into it
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(how.application ? how.application->c_str() : nullptr, commandLine.data(), nullptr, nullptr,
                           inheritHandles, how.creationFlags | (how.env ? CREATE_UNICODE_ENVIRONMENT : 0),
                           how.env ? block.data() : nullptr,
                           how.currentDirectory ? how.currentDirectory->c_str() : nullptr, &startup, &pi))
            return pi;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 5)
            throwLastError("CreateProcessW " + narrow(how.commandLine));
        Sleep(200);
    }
}

ProcessRun runProcess(const ProcessOptions& how) {
    Pipe out = makePipe();
    Pipe err = how.mergeStderr ? Pipe{} : makePipe();
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    UniqueHandle input(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input.get();
    si.hStdOutput = out.write.get();
    si.hStdError = how.mergeStderr ? out.write.get() : err.write.get();
    std::wstring desktop = how.desktop.value_or(std::wstring());  // lpDesktop is not const
    if (how.desktop) si.lpDesktop = desktop.data();

    const PROCESS_INFORMATION pi = startProcess(how, si, true);
    const auto start = std::chrono::steady_clock::now();
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    // Only the child may hold the write ends, or the pipes never report the child's end.
    out.write.reset();
    err.write.reset();
    input.reset();

    ProcessRun run;
    run.processId = pi.dwProcessId;
    const auto since = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    };
    for (;;) {
        const DWORD wait = WaitForSingleObject(process.get(), 10);
        drain(out.read.get(), run.out);
        if (err.read) drain(err.read.get(), run.err);
        if (wait == WAIT_OBJECT_0) break;
        if (since().count() >= how.timeoutMs) {
            run.timedOut = true;
            TerminateProcess(process.get(), kKilledExitCode);
            WaitForSingleObject(process.get(), 5000);
            break;
        }
        if (how.whileWaiting) how.whileWaiting(pi.dwProcessId);
    }
    run.elapsed = since();
    for (;;) {
        const std::chrono::milliseconds now = since();
        if (drain(out.read.get(), run.out)) run.outputEnded = now;
        if (err.read) drain(err.read.get(), run.err);
        if (run.outputEnded || now - run.elapsed >= std::chrono::milliseconds(how.outputEndWaitMs)) break;
        Sleep(10);
    }

    GetExitCodeProcess(process.get(), &run.exitCode);
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
        run.exited = toUint64(exited);
    }
    return run;
}

static std::vector<ProcessEntry> listProcesses() {
    std::vector<ProcessEntry> processes;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) throwLastError("CreateToolhelp32Snapshot");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        ProcessEntry p;
        p.processId = entry.th32ProcessID;
        UniqueHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (handle) p.imagePath = imagePathOf(handle.get());
        processes.push_back(std::move(p));
    }
    return processes;
}

std::vector<ProcessEntry> processesUnder(std::wstring_view dir) {
    std::wstring prefix = plainPath(dir);
    if (!prefix.empty() && prefix.back() != L'\\') prefix.push_back(L'\\');
    std::vector<ProcessEntry> found = listProcesses();
    std::erase_if(found, [&](const ProcessEntry& p) { return !istartsWith(p.imagePath, prefix); });
    return found;
}

std::vector<ProcessEntry> stillRunning(const std::vector<ProcessEntry>& processes, DWORD graceMs) {
    const ULONGLONG deadline = GetTickCount64() + graceMs;
    std::vector<ProcessEntry> alive;
    for (const ProcessEntry& p : processes) {
        UniqueHandle handle = reopen(p, SYNCHRONIZE);
        if (!handle) continue;  // already gone
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(handle.get(), left) == WAIT_TIMEOUT) alive.push_back(p);
    }
    return alive;
}

void killProcesses(const std::vector<ProcessEntry>& processes, DWORD waitMs) {
    std::vector<UniqueHandle> handles;
    for (const ProcessEntry& p : processes) {
        UniqueHandle handle = reopen(p, PROCESS_TERMINATE | SYNCHRONIZE);
        if (!handle) continue;
        TerminateProcess(handle.get(), kKilledExitCode);
        handles.push_back(std::move(handle));
    }
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (const UniqueHandle& handle : handles) {
        const ULONGLONG now = GetTickCount64();
        WaitForSingleObject(handle.get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    }
}

}  // namespace sorvane::e2e
