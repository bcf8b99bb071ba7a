// Stand-in for a Java 8 java.exe answering "-version": the three lines go to stderr, one write
// each as the JVM does, then the process stays alive for BENCH_JAVA_LINGER_MS, the way a real
// JVM takes its time to shut down after printing.
#include "bench/freestanding.h"

#ifndef BENCH_JAVA_LINGER_MS
#define BENCH_JAVA_LINGER_MS 0
#endif

namespace {

void say(HANDLE out, const char* text)
{
    DWORD length = 0;
    while (text[length])
        ++length;
    DWORD written = 0;
    WriteFile(out, text, length, &written, nullptr);
}

}  // namespace

extern "C" void StubJavaEntry()
{
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    say(err, "java version \"1.8.0_281\"\r\n");
    say(err, "Java(TM) SE Runtime Environment (build 1.8.0_281-b09)\r\n");
    say(err, "Java HotSpot(TM) 64-Bit Server VM (build 25.281-b09, mixed mode)\r\n");
    if (BENCH_JAVA_LINGER_MS > 0)
        Sleep(BENCH_JAVA_LINGER_MS);
    ExitProcess(0);
}
