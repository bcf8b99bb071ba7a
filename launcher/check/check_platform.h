// launcher-check's platform. Every question the launch sequence asks (the program search, the
// probe, the existence tests, what Java can read, look-alikes, short paths) goes to the launcher's
// own Win32 layer; every effect (a record, an echo, the child's start, the box) is written down
// instead of done. So RunLauncher, run through it, predicts the launcher on this machine.
#pragma once

#include "launcher/buffer.h"
#include "launcher/platform.h"
#include "launcher/win32_platform.h"

namespace sorvane::check {

class CheckPlatform final : public Platform, private SearchObserver {
public:
    // installDirectory ends in its separator; commandLine is the launcher's as it would be started.
    CheckPlatform(const wchar_t* installDirectory, const wchar_t* commandLine);

    const wchar_t* commandLine() override { return commandLine_.c_str(); }
    const wchar_t* installDirectory() override { return win32_.installDirectory(); }
    void log(const char* message) override;
    void echo(const wchar_t*) override {}
    bool findProgram(const wchar_t* fileName, WideBuffer& path) override;
    bool captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output) override;
    bool fileExists(const wchar_t* path) override { return win32_.fileExists(path); }
    bool readableByJava(const wchar_t* text) override { return win32_.readableByJava(text); }
    LookAlikeTest lookAlikeTest() override { return win32_.lookAlikeTest(); }
    bool shortPath(const wchar_t* path, WideBuffer& shortForm) override { return win32_.shortPath(path, shortForm); }
    // Not started: true, unless Windows would refuse the file as a program.
    bool runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error) override;
    void showMessageBox(const wchar_t* text, const wchar_t*) override;

    // The launcher's own layer, for the page's further questions.
    Win32Platform& win32() { return win32_; }

    // What the run asked and did, as the page shows it.
    WideBuffer searchLines;        // "search N: ..." lines
    WideBuffer java;               // the java.exe found; empty when none
    bool probeRan = false;
    bool probeAnswered = false;    // false: not started, or no answer in time
    WideBuffer probeStarted;       // the java.exe as started (its short form where needed)
    unsigned long long probeMs = 0;
    ByteBuffer probeOutput;
    ByteBuffer records;            // each record's message, ending in '\n'
    ByteBuffer lastRecord;
    bool childStarted = false;     // runChild was reached
    WideBuffer childProgram;
    WideBuffer childCommandLine;
    bool boxShown = false;
    WideBuffer boxText;

private:
    void looked(SearchPlace place, const wchar_t* directory, size_t length, SearchOutcome outcome) override;

    Win32Platform win32_;
    WideBuffer commandLine_;
    unsigned pathEntries_ = 0;
    unsigned places_ = 0;
};

}  // namespace sorvane::check
