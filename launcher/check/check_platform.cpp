#include "launcher/check/check_platform.h"

#include <windows.h>


namespace sorvane::check {

CheckPlatform::CheckPlatform(const wchar_t* installDirectory, const wchar_t* commandLine) : win32_(installDirectory)
{
    commandLine_.append(commandLine);
    win32_.observeSearch(this);
}

void CheckPlatform::log(const char* message)
{
    records.append(message);
    records.append('\n');
    lastRecord.clear();
    lastRecord.append(message);
}

static const wchar_t* placeName(SearchPlace place)
{
    switch (place) {
    case SearchPlace::InstallDirectory:
        return L"the install directory";
    case SearchPlace::SystemDirectory:
        return L"the system directory";
    case SearchPlace::SystemDirectory16:
        return L"the 16-bit system directory";
    case SearchPlace::WindowsDirectory:
        return L"the Windows directory";
    case SearchPlace::PathEntry:
        break;
    }
    return L"PATH entry ";
}

void CheckPlatform::looked(SearchPlace place, const wchar_t* directory, size_t length, SearchOutcome outcome)
{
    WideBuffer& line = searchLines;
    line.append(L"search ");
    appendDecimal(line, ++places_);
    line.append(L": ");
    line.append(directory, length);
    line.append(L" (");
    line.append(placeName(place));
    if (place == SearchPlace::PathEntry)
        appendDecimal(line, ++pathEntries_);
    line.append(L"): ");
    if (outcome == SearchOutcome::Found) {
        line.append(L"found");
    } else if (outcome == SearchOutcome::NotThere) {
        line.append(L"not there");
    } else {
        bool unexpanded = false;
        for (size_t i = 0; i < length; ++i)
            unexpanded = unexpanded || directory[i] == L'%';
        line.append(unexpanded ? L"skipped: not fully qualified (an unexpanded variable)"
                               : L"skipped: not fully qualified (relative to the current directory)");
    }
    line.append(L"\r\n");
}

bool CheckPlatform::findProgram(const wchar_t* fileName, WideBuffer& path)
{
    bool found = win32_.findProgram(fileName, path);
    java.clear();
    if (found)
        java.append(path);
    return found;
}

bool CheckPlatform::captureProbeOutput(const wchar_t* javaPath, ByteBuffer& output)
{
    probeRan = true;
    probeStarted.clear();
    probeStarted.append(javaPath);
    ULONGLONG start = GetTickCount64();
    probeAnswered = win32_.captureProbeOutput(javaPath, output);
    probeMs = GetTickCount64() - start;
    probeOutput.clear();
    probeOutput.append(output);
    return probeAnswered;
}

bool CheckPlatform::runChild(const wchar_t* program, const wchar_t* commandLine, unsigned long& error)
{
    childStarted = true;
    childProgram.clear();
    childProgram.append(program);
    childCommandLine.clear();
    childCommandLine.append(commandLine);
    // What CreateProcessW would refuse before running anything: no such file, or no program.
    DWORD type = 0;
    if (GetBinaryTypeW(program, &type))
        return true;
    error = GetLastError() ? GetLastError() : ERROR_BAD_EXE_FORMAT;
    return false;
}

void CheckPlatform::showMessageBox(const wchar_t* text, const wchar_t*)
{
    boxShown = true;
    boxText.clear();
    boxText.append(text);
}

}  // namespace sorvane::check
