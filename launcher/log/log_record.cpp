#include "launcher/log/log_record.h"

namespace sorvane {

template <typename Char>
static void appendDate(Buffer<Char>& out, const CalendarTime& time)
{
    appendDecimal(out, static_cast<unsigned>(time.year), 4);
    out.append('-');
    appendDecimal(out, static_cast<unsigned>(time.month), 2);
    out.append('-');
    appendDecimal(out, static_cast<unsigned>(time.day), 2);
}

ByteBuffer LogRecord(const CalendarTime& time, const char* message)
{
    ByteBuffer record;
    appendDate(record, time);
    record.append(' ');
    appendDecimal(record, static_cast<unsigned>(time.hour), 2);
    record.append(':');
    appendDecimal(record, static_cast<unsigned>(time.minute), 2);
    record.append(':');
    appendDecimal(record, static_cast<unsigned>(time.second), 2);
    record.append("    ");
    record.append(message);
    record.append('\r');
    return record;
}

WideBuffer LogFileName(const CalendarTime& time)
{
    WideBuffer name;
    appendDate(name, time);
    name.append(L".log");
    return name;
}

}  // namespace sorvane
