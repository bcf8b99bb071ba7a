#include "tests/e2e/harness/message_box.h"

#include <atomic>
#include <cstddef>
#include <cwchar>
#include <stdexcept>
#include <utility>

namespace sorvane::e2e {

namespace {

std::wstring windowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256];
    const int n = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(n > 0 ? n : 0));
}

// The message text sits in a Static control with id 0xFFFF; an icon, when there is one, is another
// Static without text.
std::wstring boxText(HWND box) {
    struct Search {
        std::wstring byId;
        std::wstring firstNonEmpty;
    } search;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            if (_wcsicmp(className(child).c_str(), L"Static") != 0) return TRUE;
            const std::wstring text = windowText(child);
            if (GetDlgCtrlID(child) == 0xFFFF) s.byId = text;
            if (s.firstNonEmpty.empty()) s.firstNonEmpty = text;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.byId.empty() ? search.firstNonEmpty : search.byId;
}

}  // namespace

std::optional<SeenBox> findMessageBox(const std::wstring* caption, DWORD processId) {
    struct Search {
        const std::wstring* caption;
        DWORD processId;
        std::optional<SeenBox> found;
    } search{caption, processId, std::nullopt};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (s.processId != 0 && owner != s.processId) return TRUE;
            if (!IsWindowVisible(window) || className(window) != L"#32770") return TRUE;
            std::wstring title = windowText(window);
            if (s.caption && title != *s.caption) return TRUE;
            s.found = SeenBox{window, owner, std::move(title), boxText(window)};
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::optional<std::string> whyNoInteractiveDesktop(HWINSTA station) {
    USEROBJECTFLAGS flags{};
    if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return "the window station cannot be asked whether it is interactive (error " +
               std::to_string(GetLastError()) + ")";
    if (!(flags.dwFlags & WSF_VISIBLE))
        return "no interactive desktop: this session's window station is not visible (a service?), "
               "so a message box would be shown to no one";
    return std::nullopt;
}

NonInteractiveStation::NonInteractiveStation() {
    const auto fail = [this](const char* what) {
        const DWORD error = GetLastError();
        if (station_) CloseWindowStation(station_);
        throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(error));
    };
    // Station names are shared by the whole session, and ctest runs test programs side by side.
    static std::atomic<unsigned> serial{0};
    const std::wstring name = L"SorvaneE2E-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++serial) + L"-" + std::to_wstring(GetTickCount64() % 1000000);
    station_ = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station_) fail("CreateWindowStationW");
    // A desktop is made on the calling process's window station, so switch there for the moment.
    const HWINSTA own = GetProcessWindowStation();
    if (!SetProcessWindowStation(station_)) fail("SetProcessWindowStation");
    desktop_ = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    const DWORD error = GetLastError();
    SetProcessWindowStation(own);
    SetLastError(error);
    if (!desktop_) fail("CreateDesktopW");
    desktopPath_ = name + L"\\Default";
}

NonInteractiveStation::~NonInteractiveStation() {
    CloseDesktop(desktop_);
    CloseWindowStation(station_);
}

void pressOk(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

std::optional<std::wstring> dismissMessageBox(const std::wstring& caption, DWORD timeoutMs, DWORD processId) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (auto box = findMessageBox(&caption, processId)) {
            pressOk(box->window);
            return box->text;
        }
        if (GetTickCount64() >= deadline) return std::nullopt;
        Sleep(20);
    }
}

}  // namespace sorvane::e2e
