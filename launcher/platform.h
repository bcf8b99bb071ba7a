// The launch sequence's only way to the machine. The Win32 implementation does the I/O; unit
// tests substitute a fake to check the order of records and the runtime choice.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// Whether c is a look-alike: a character that the active ANSI code page lacks and whose best fit
// there is a character the standard split acts on (a double quote, a backslash, a space or a
// tab). A Java launcher before JDK 17.0.17, 21.0.8 and 24 reads its command line converted with
// best fit (GetCommandLineA), so a look-alike would reach it as that character and move the
// boundaries of its arguments. Null: there are none (UTF-8 as the system code page).
using LookAlikeTest = bool (*)(wchar_t c);

class Platform {
public:
    virtual const wchar_t* commandLine() = 0;
    // The directory that holds launcher.exe, ending in its separator: the install directory.
    // Empty when the launcher's own path could not be had.
    virtual const wchar_t* installDirectory() = 0;

    virtual void log(const char* message) = 0;
    // Standard output, for whoever starts the launcher with it redirected; nothing relies on it.
    virtual void echo(const wchar_t* line) = 0;

    // The full path of fileName (java.exe, javaw.exe) as the launcher's program search finds it
    // (never in the current directory); false when it is nowhere.
    virtual bool findProgram(const wchar_t* fileName, WideBuffer& path) = 0;

    // Starts the java.exe at javaPath as "java -version" and collects what it writes. False when
    // it could not be started, or did not answer in time (it is then ended).
    virtual bool captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output) = 0;

    virtual bool fileExists(const wchar_t* path) = 0;

    // True when a Java launcher reads text whole: every character exists in the active ANSI code
    // page, the one in which it reads its command line and its own path (ASCII only where that
    // code page is UTF-8).
    virtual bool readableByJava(const wchar_t* text) = 0;

    // How the active ANSI code page tells a look-alike.
    virtual LookAlikeTest lookAlikeTest() = 0;

    // The short (8.3) form of an existing path; false when it has none or cannot be had.
    virtual bool shortPath(const wchar_t* path, WideBuffer& shortForm) = 0;

    // Starts the program at its full path with commandLine and waits for it to end. False, with
    // the Windows error code, when it could not be started.
    virtual bool runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error) = 0;

    // Returns when the user has dismissed the box, or at once where no one could see it (a
    // window station that is not interactive, as a service's or an unattended task's).
    virtual void showMessageBox(const wchar_t* text, const wchar_t* caption) = 0;

protected:
    ~Platform() = default;
};

}  // namespace sorvane
