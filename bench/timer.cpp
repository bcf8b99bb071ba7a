// Runs programs in alternating rounds and prints the wall time of each run, measured inside
// Wine so that the Linux-side wine loader is not counted.
//
//   bench_timer.exe [OPTIONS] --scenario NAME [OPTIONS] --program LABEL PATH ARGUMENTS ...
//                   [--scenario NAME ...]
//   OPTIONS: --rounds N  --warmup N  --gap MS  --settle MS  --set NAME=VALUE
//
// Options before the first --scenario are defaults for every scenario; options after one apply
// to it alone (--set adds to the defaults). Scenarios run one after the other in one process, so
// the prefix's wineserver and its services stay up between them. Prints one line per measured
// run: SCENARIO <tab> LABEL <tab> ROUND <tab> MILLISECONDS <tab> EXIT CODE.
// The children get NUL as standard handles, no console (as from the desktop) and an explicit
// environment: the timer's own, with the --set variables replacing or adding to it (Wine takes
// USERPROFILE only from such a block).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Program {
    std::wstring label;
    std::wstring commandLine;
};

struct Scenario {
    std::wstring name;
    int rounds = 21;
    int warmup = 3;
    DWORD gapMs = 30;       // before each run, so a run does not overlap the last one's teardown
    DWORD settleMs = 0;     // after the scenario, for children that outlive the measured program
    std::vector<std::wstring> settings;
    std::vector<Program> programs;
};

void print(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

std::wstring variableName(const std::wstring& entry)
{
    // Entries such as "=C:=C:\dir" start with '=': the name runs to the second one.
    size_t equals = entry.find(L'=', 1);
    return entry.substr(0, equals);
}

int compareNames(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE);
}

std::vector<wchar_t> environmentBlock(const std::vector<std::wstring>& settings)
{
    std::vector<std::wstring> entries;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* p = own; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(own);
    }
    for (const std::wstring& setting : settings) {
        std::wstring name = variableName(setting);
        std::erase_if(entries, [&](const std::wstring& e) { return compareNames(variableName(e), name) == CSTR_EQUAL; });
        entries.push_back(setting);
    }
    // Windows expects the block sorted by name, case-insensitively.
    std::sort(entries.begin(), entries.end(),
              [](const std::wstring& a, const std::wstring& b) { return compareNames(a, b) == CSTR_LESS_THAN; });
    std::vector<wchar_t> block;
    for (const std::wstring& e : entries) {
        block.insert(block.end(), e.begin(), e.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

bool parse(int argc, wchar_t** argv, std::vector<Scenario>& scenarios)
{
    Scenario defaults;
    Scenario* current = &defaults;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--scenario" && i + 1 < argc) {
            scenarios.push_back(defaults);
            scenarios.back().name = argv[++i];
            current = &scenarios.back();
        } else if (a == L"--rounds" && i + 1 < argc) {
            current->rounds = _wtoi(argv[++i]);
        } else if (a == L"--warmup" && i + 1 < argc) {
            current->warmup = _wtoi(argv[++i]);
        } else if (a == L"--gap" && i + 1 < argc) {
            current->gapMs = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (a == L"--settle" && i + 1 < argc) {
            current->settleMs = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (a == L"--set" && i + 1 < argc) {
            current->settings.emplace_back(argv[++i]);
        } else if (a == L"--program" && i + 3 < argc && current != &defaults) {
            current->programs.push_back({argv[i + 1], L"\"" + std::wstring(argv[i + 2]) + L"\" " + argv[i + 3]});
            i += 3;
        } else {
            return false;
        }
    }
    return !scenarios.empty() && std::all_of(scenarios.begin(), scenarios.end(), [](const Scenario& s) {
        return !s.programs.empty() && s.rounds > 0 && s.warmup >= 0;
    });
}

// Milliseconds from just before CreateProcessW until the process has ended; negative when it
// could not be started or had to be killed.
double runOnce(const Program& program, std::vector<wchar_t>& environment, HANDLE nul, DWORD& exitCode)
{
    std::wstring line = program.commandLine;   // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    // Detached, as the desktop shell starts a program: with no console of its own, so that a
    // console child of the measured program (java.exe) pays for whatever console it is given.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS,
                        environment.data(), nullptr, &startup, &process)) {
        exitCode = GetLastError();
        return -1;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, 60000);
    QueryPerformanceCounter(&end);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 259);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0)
        return -1;
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

}  // namespace

int wmain()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<Scenario> scenarios;
    if (!argv || !parse(argc, argv, scenarios)) {
        print(L"usage: bench_timer [OPTIONS] --scenario NAME [OPTIONS] --program LABEL PATH ARGUMENTS ...\n");
        return 2;
    }
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);

    int failures = 0;
    for (const Scenario& scenario : scenarios) {
        std::vector<wchar_t> environment = environmentBlock(scenario.settings);
        const size_t count = scenario.programs.size();
        for (int round = -scenario.warmup; round < scenario.rounds; ++round) {
            // Each round starts with the next program, so none always runs right after the same one.
            for (size_t k = 0; k < count; ++k) {
                const size_t index = (static_cast<size_t>(round + scenario.warmup) + k) % count;
                const Program& program = scenario.programs[index];
                Sleep(scenario.gapMs);
                DWORD exitCode = 0;
                double ms = runOnce(program, environment, nul, exitCode);
                if (ms < 0)
                    ++failures;
                if (round < 0)
                    continue;
                wchar_t numbers[64];
                swprintf(numbers, 64, L"\t%d\t%.3f\t%lu\n", round, ms, static_cast<unsigned long>(exitCode));
                print(scenario.name + L"\t" + program.label + numbers);
            }
        }
        Sleep(scenario.settleMs);
    }
    return failures ? 1 : 0;
}
