// launcher-check's page: what the launcher would do on this machine and why, one fact per line as
// "name: value" under a few headings, so that support reads it and a script can grep it.
#pragma once

#include "launcher/buffer.h"
#include "launcher/check/check_platform.h"

namespace sorvane::check {

// What the check was asked.
struct CheckRequest {
    WideBuffer installDirectory;   // ends in its separator
    WideBuffer argument;
    bool argumentGiven = false;    // false: the placeholder
};

// The page for a run of RunLauncher through platform that ended with exitStatus. Asks the
// machine a few more questions (existence, short forms, the log, the window station), none of
// which writes anything. Lines end in CRLF.
WideBuffer CheckPage(CheckPlatform& platform, const CheckRequest& request, int exitStatus);

}  // namespace sorvane::check
