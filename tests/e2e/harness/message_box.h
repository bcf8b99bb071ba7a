// Finding, reading and dismissing message boxes shown by other processes (needs a display: Xvfb).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace sorvane::e2e {

struct SeenBox {
    HWND window = nullptr;
    DWORD processId = 0;
    std::wstring caption;
    std::wstring text;  // of its Static text control
};

// A visible message box (dialog class "#32770"), filtered by caption and/or owning process when given
// (processId 0 = any). Visible means fully set up, so its text is there to read.
std::optional<SeenBox> findMessageBox(const std::wstring* caption, DWORD processId = 0);

// Presses OK on it (WM_COMMAND IDOK, what a click would send).
void pressOk(HWND box);

// Why a message box shown here would be seen by no one, or nullopt on a user's desktop: boxes are
// only visible on an interactive window station (a service's, as on a CI runner installed as a
// service, is not). Under Wine the one window station is interactive, display or not.
std::optional<std::string> whyNoInteractiveDesktop(HWINSTA station = GetProcessWindowStation());

// A window station of the harness's own with a desktop on it, like a service's or that of a task
// run whether or not anyone is logged on: not interactive (no WSF_VISIBLE), so a message box shown
// there is seen by no one and blocks until its program is killed. Start a program with desktop()
// as lpDesktop to run it there. Throws when the station or the desktop cannot be made.
class NonInteractiveStation {
public:
    NonInteractiveStation();
    ~NonInteractiveStation();
    NonInteractiveStation(const NonInteractiveStation&) = delete;
    NonInteractiveStation& operator=(const NonInteractiveStation&) = delete;

    HWINSTA station() const { return station_; }
    const std::wstring& desktop() const { return desktopPath_; }  // "station\Default"

private:
    HWINSTA station_ = nullptr;
    HDESK desktop_ = nullptr;
    std::wstring desktopPath_;
};

// Polls until a box with this caption appears (at least once, even with timeoutMs 0), reads its
// text and presses OK. nullopt when none appeared in time.
std::optional<std::wstring> dismissMessageBox(const std::wstring& caption, DWORD timeoutMs, DWORD processId = 0);

}  // namespace sorvane::e2e
