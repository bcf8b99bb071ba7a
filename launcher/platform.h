// The launch sequence's only way to the machine. The Win32 implementation does the I/O; unit
// tests substitute a fake to check the order of records and the runtime choice.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

class Platform {
public:
    virtual const wchar_t* commandLine() = 0;
    // The full path of launcher.exe; every install-layout path is derived from it.
    virtual const wchar_t* modulePath() = 0;

    virtual void log(const char* message) = 0;
    // Standard output, for whoever starts the launcher with it redirected; nothing relies on it.
    virtual void echo(const wchar_t* line) = 0;

    // Runs "java -version" and collects what it writes; java is the full path of the java.exe
    // that ran. False when no java program could be started at all, or it did not answer in time.
    virtual bool captureProbeOutput(ByteBuffer& output, WideBuffer& java) = 0;

    virtual bool fileExists(const wchar_t* path) = 0;

    // Starts program (a full path, or a bare file name to look up the way the launcher looks up
    // java) with commandLine and waits for it to end. False, with the Windows error code, when it
    // could not be started.
    virtual bool runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error) = 0;

    virtual void showMessageBox(const wchar_t* text, const wchar_t* caption) = 0;

protected:
    ~Platform() = default;
};

}  // namespace sorvane
