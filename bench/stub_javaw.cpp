// Stand-in for javaw.exe that ends at once, so that the child costs only its own start.
// Built with BENCH_JAVAW_RECORD it first writes its command line to javaw-cmdline.txt beside
// itself; run.sh uses that once to check that both programs start it with lines of one length.
#include "bench/freestanding.h"

#include <stddef.h>

#ifdef BENCH_JAVAW_RECORD
namespace {

wchar_t g_path[MAX_PATH * 4];

void recordCommandLine()
{
    DWORD n = GetModuleFileNameW(nullptr, g_path, MAX_PATH * 4);
    size_t dir = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (g_path[i] == L'\\')
            dir = i + 1;
    }
    bench::append(g_path, dir, MAX_PATH * 4, L"javaw-cmdline.txt");
    HANDLE file = CreateFileW(g_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const wchar_t* line = GetCommandLineW();
    DWORD length = 0;
    while (line[length])
        ++length;
    DWORD written = 0;
    WriteFile(file, line, length * sizeof(wchar_t), &written, nullptr);
    WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
}

}  // namespace
#endif

extern "C" void StubJavawEntry()
{
#ifdef BENCH_JAVAW_RECORD
    recordCommandLine();
#endif
    ExitProcess(0);
}
