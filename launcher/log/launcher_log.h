// The launcher log: %USERPROFILE%\.sorvane\logs\launcher\<local date>.log
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// Appends one record to the day's file, and gives back that file's name ("2026-12-07.log"), or
// nothing when the clock could not be read. Every failure to write is silent: the launch goes on
// without the record. The file is opened and closed for each record, so nothing stays open.
WideBuffer WriteLogRecord(const char* message);

}  // namespace sorvane
