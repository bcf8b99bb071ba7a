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

// Polls until a box with this caption appears (at least once, even with timeoutMs 0), reads its
// text and presses OK. nullopt when none appeared in time.
std::optional<std::wstring> dismissMessageBox(const std::wstring& caption, DWORD timeoutMs, DWORD processId = 0);

}  // namespace sorvane::e2e
