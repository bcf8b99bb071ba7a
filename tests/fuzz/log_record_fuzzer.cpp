// A record ends in the message bytes exactly and one carriage return, whatever the message and the
// calendar fields the clock gave.
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
    require(record.size() > length && !std::memcmp(record.c_str() + record.size() - length - 1, message.c_str(), length) &&
                record.c_str()[record.size() - 1] == '\r',
            "the record does not end in the message and one carriage return");
    LogFileName(t);
    return 0;
}
