// The bytes of the launcher log: one file per local day, one record per event.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

struct CalendarTime {
    int year;
    int month;    // 1-12
    int day;      // 1-31
    int hour;     // 0-23
    int minute;
    int second;
};

// The directory levels below the user's profile, created one by one when missing.
inline constexpr const wchar_t* kLogDirectoryLevels[] = {L"\\.sorvane\\", L"logs\\", L"launcher\\"};

// "2026-12-07 09:05:03" followed by four spaces, the message bytes as they are and one
// carriage return. Log readers split records at that lone carriage return: no line feed.
ByteBuffer LogRecord(const CalendarTime& time, const char* message);

// "2026-12-07.log"
WideBuffer LogFileName(const CalendarTime& time);

}  // namespace sorvane
