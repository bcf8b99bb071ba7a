// The launcher log: %USERPROFILE%\.sorvane\logs\launcher\<local date>.log
#pragma once

namespace sorvane {

// Appends one record to the day's file. Every failure is silent: the launch goes on without
// the record. The file is opened and closed for each record, so nothing stays open.
void WriteLogRecord(const char* message);

}  // namespace sorvane
