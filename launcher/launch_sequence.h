// The launcher's whole run: probe the machine's Java, choose a runtime, start the updater
// archive with it and wait, or tell the user that there is no runtime.
#pragma once

#include "launcher/platform.h"

namespace sorvane {

// Process exit statuses. The updater child's own status is not passed on.
enum ExitStatus : int {
    kExitChildEnded = 0,       // the child was started and has ended
    kExitNoRuntime = 1,        // no usable runtime; the box was shown, unless no one could see it
    kExitNoArgument = 2,       // nothing to forward: no probe, no child
    kExitChildNotStarted = 3,  // the child could not be started, or its command line was too long
};

// The log record and the box's text: the same sentence, narrow in the log, wide in the box.
#define SORVANE_NO_RUNTIME "Sorvane Launcher cannot be started. Please install JRE."
inline constexpr char kNoRuntimeRecord[] = SORVANE_NO_RUNTIME;
inline constexpr wchar_t kNoRuntimeText[] = L"" SORVANE_NO_RUNTIME;
inline constexpr wchar_t kNoRuntimeCaption[] = L"Running java version:";

int RunLauncher(Platform& platform);

}  // namespace sorvane
