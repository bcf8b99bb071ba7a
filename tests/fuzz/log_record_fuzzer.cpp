// A log record carries the message bytes exactly, between the timestamp's four spaces and the one
// carriage return, whatever the message and whatever the clock said.
#include <cstring>

#include "launcher/log/log_record.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CalendarTime time;
    if (size < sizeof time)
        return 0;
    std::memcpy(&time, data, sizeof time);
    ByteBuffer message;
    message.append(reinterpret_cast<const char*>(data + sizeof time), size - sizeof time);
    size_t messageLength = std::strlen(message.c_str());

    ByteBuffer record = LogRecord(time, message.c_str());
    const char* bytes = record.c_str();
    require(!record.failed() && record.size() > messageLength + 5, "record too short");
    require(bytes[record.size() - 1] == '\r', "record does not end in a carriage return");
    size_t stamp = record.size() - messageLength - 1;
    require(!std::memcmp(bytes + stamp - 4, "    ", 4), "no four spaces before the message");
    require(!std::memcmp(bytes + stamp, message.c_str(), messageLength), "message bytes changed");

    // The record's date is the file name's: one reading of the clock names both.
    WideBuffer name = LogFileName(time);
    require(name.size() > 4 && name.size() - 4 < stamp, "file name longer than the timestamp");
    for (size_t i = 0; i < name.size() - 4; ++i)
        require(name.c_str()[i] == static_cast<unsigned char>(bytes[i]), "file name and record disagree on the date");
    require(SameText(name.c_str() + name.size() - 4, 4, L".log", 4), "file name does not end in .log");

    bool inRange = time.year >= 0 && time.year <= 9999 && time.month >= 1 && time.month <= 12 && time.day >= 1 &&
                   time.day <= 31 && time.hour >= 0 && time.hour <= 23 && time.minute >= 0 && time.minute <= 59 &&
                   time.second >= 0 && time.second <= 60;
    require(!inRange || (stamp == 23 && name.size() == 14), "timestamp not 19 characters for a real date");
    return 0;
}
