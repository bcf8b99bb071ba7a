// show_box.exe CAPTION TEXT: shows a plain message box, so the box helper can be tried on a known box.
// Exit code: 0 after OK, kShowBoxNoDisplayExitCode when the box could not be shown at all, 10 + the
// answer for any other button.
#include "tests/e2e/harness/stub_protocol.h"

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3) return 2;
    const int answer = MessageBoxW(nullptr, argv[2], argv[1], MB_OK);
    // Windows reports a box it could not show with 0; Wine without a display with -1.
    if (answer <= 0) return static_cast<int>(sorvane::e2e::stub::kShowBoxNoDisplayExitCode);
    return answer == IDOK ? 0 : 10 + answer;
}
