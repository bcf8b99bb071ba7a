// A record carries the message bytes exactly, after the timestamp's four spaces and before the one
// carriage return, and its date is the file name's, whatever the message and the clock said.
#include <cstring>

#include "launcher/log/log_record.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CalendarTime t;
    if (size < sizeof t)
        return 0;
    std::memcpy(&t, data, sizeof t);
    ByteBuffer message;
    message.append(reinterpret_cast<const char*>(data + sizeof t), size - sizeof t);
    size_t length = std::strlen(message.c_str());
    ByteBuffer record = LogRecord(t, message.c_str());
    WideBuffer name = LogFileName(t);
    const char* bytes = record.c_str();
    size_t stamp = record.size() - length - 1, date = name.size() - 4;
    require(record.size() >= length + 24 && bytes[record.size() - 1] == '\r', "no carriage return at the end");
    require(!std::memcmp(bytes + stamp - 4, "    ", 4) && !std::memcmp(bytes + stamp, message.c_str(), length),
            "message bytes not after four spaces");
    require(name.size() > 4 && date < stamp && SameText(name.c_str() + date, L".log", 4), "file name");
    for (size_t i = 0; i < date; ++i)
        require(name.c_str()[i] == static_cast<unsigned char>(bytes[i]), "file name and record disagree on the date");

    bool real = t.year >= 0 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
                t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60;
    require(!real || (stamp == 23 && date == 10), "timestamp of a real date not 19 characters");
    return 0;
}
