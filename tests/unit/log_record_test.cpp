#include "launcher/log/log_record.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvane {
namespace {

std::string Bytes(const ByteBuffer& b)
{
    return std::string(b.c_str(), b.size());
}

TEST(LogRecordBytes, TimestampIsZeroPaddedAndMessageIsCopiedByteForByte)
{
    struct {
        CalendarTime time;
        std::string message;
        std::string expected;
    } cases[] = {
        // 52 bytes, ending in a lone carriage return.
        {{2026, 12, 7, 9, 5, 3}, "Starting Sorvane Launcher...", "2026-12-07 09:05:03    Starting Sorvane Launcher...\r"},
        {{2027, 1, 1, 0, 0, 0}, "x", "2027-01-01 00:00:00    x\r"},
        {{999, 9, 30, 23, 59, 59}, "", "0999-09-30 23:59:59    \r"},
        {{2026, 12, 31, 12, 34, 56}, "System java version: 1.8\"\xE9\xFF", "2026-12-31 12:34:56    System java version: 1.8\"\xE9\xFF\r"},
        {{2026, 6, 15, 7, 8, 9}, std::string(5000, 'm'), "2026-06-15 07:08:09    " + std::string(5000, 'm') + "\r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Bytes(LogRecord(c.time, c.message.c_str())), c.expected);
}

TEST(LogFileNameText, IsTheLocalDate)
{
    EXPECT_STREQ(LogFileName({2026, 12, 7, 23, 59, 59}).c_str(), L"2026-12-07.log");
    EXPECT_STREQ(LogFileName({2027, 1, 1, 0, 0, 0}).c_str(), L"2027-01-01.log");
}

}  // namespace
}  // namespace sorvane
