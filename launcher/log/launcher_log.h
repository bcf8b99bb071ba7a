// The launcher log: %USERPROFILE%\.sorvane\logs\launcher\<local date>.log
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// One per run. The file is opened and closed for each record, so nothing stays open; all the log
// remembers between records is whether the file has already cost the run its patience.
class LauncherLog {
public:
    // Appends one record to the day's file, and gives back that file's name ("2026-12-07.log").
    // Every failure to write is silent: the launch goes on without the record.
    WideBuffer write(const char* message);

private:
    bool patient_ = true;
};

}  // namespace sorvane
