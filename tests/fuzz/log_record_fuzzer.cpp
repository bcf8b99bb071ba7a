// A record carries the message bytes exactly, after the timestamp's four spaces and before the one
// carriage return, whatever the message and the calendar fields the clock gave.
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
    const char* bytes = record.c_str();
    size_t stamp = record.size() - length - 1;
    require(record.size() >= length + 24 && bytes[record.size() - 1] == '\r', "no carriage return at the end");
    require(!std::memcmp(bytes + stamp - 4, "    ", 4) && !std::memcmp(bytes + stamp, message.c_str(), length),
            "message bytes not after four spaces");
    LogFileName(t);
    return 0;
}
