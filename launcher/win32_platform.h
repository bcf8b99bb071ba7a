// The launch sequence's platform on Windows. Each member is defined in the file of its concern:
// findProgram in program_search.cpp, captureProbeOutput in probe.cpp, fileExists and shortPath in
// win32_files.cpp, readableByJava and lookAlikeTest in win32_environment.cpp, runChild in
// win32_process.cpp; the rest in win32_platform.cpp.
#pragma once

#include <cstddef>

#include "launcher/buffer.h"
#include "launcher/log/launcher_log.h"
#include "launcher/platform.h"

namespace sorvane {

// Called first thing by the launcher's (and launcher-check's) entry point: DLLs only from the system
// directory, and no critical-error prompt that would hold the run.
void PrepareProcess();

// Where the program search looked, for whoever wants to show it (launcher-check); the launcher
// itself has no observer.
enum class SearchPlace { InstallDirectory, SystemDirectory, SystemDirectory16, WindowsDirectory, PathEntry };
enum class SearchOutcome { Found, NotThere, NotFullyQualified };
class SearchObserver {
public:
    virtual void looked(SearchPlace place, const wchar_t* directory, size_t length, SearchOutcome outcome) = 0;

protected:
    ~SearchObserver() = default;
};

class Win32Platform final : public Platform {
public:
    // The install directory is the one that holds the running program, or the one given.
    Win32Platform();
    explicit Win32Platform(const wchar_t* installDirectory);

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

    // Whether a message box shown now would be seen: false on a window station that is not
    // interactive, where showMessageBox returns at once.
    bool boxCanBeSeen();
    void observeSearch(SearchObserver* observer) { searchObserver_ = observer; }

private:
    WideBuffer installDirectory_;
    LauncherLog log_;
    SearchObserver* searchObserver_ = nullptr;
};

}  // namespace sorvane
