// The launch sequence's platform on Windows. Each member is defined in the file of its concern:
// findProgram in program_search.cpp, captureProbeOutput in probe.cpp, fileExists and shortPath in
// win32_files.cpp, readableByJava and lookAlikeTest in win32_environment.cpp, runChild in
// win32_process.cpp; the rest in win32_platform.cpp.
#pragma once

#include "launcher/buffer.h"
#include "launcher/log/launcher_log.h"
#include "launcher/platform.h"

namespace sorvane {

class Win32Platform final : public Platform {
public:
    Win32Platform();

    const wchar_t* commandLine() override;
    const wchar_t* installDirectory() override;
    void log(const char* message) override;
    void echo(const wchar_t* line) override;
    bool findProgram(const wchar_t* fileName, WideBuffer& path) override;
    bool captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output) override;
    bool fileExists(const wchar_t* path) override;
    bool readableByJava(const wchar_t* text) override;
    LookAlikeTest lookAlikeTest() override;
    bool shortPath(const wchar_t* path, WideBuffer& shortForm) override;
    bool runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error) override;
    void showMessageBox(const wchar_t* text, const wchar_t* caption) override;

private:
    WideBuffer installDirectory_;
    LauncherLog log_;
};

}  // namespace sorvane
