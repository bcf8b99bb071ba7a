#include "launcher/java_version.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvane {
namespace {

// What the version found in an output is, and which runtime it chooses, is the launch sequence's
// table of real outputs (launch_sequence_test.cpp). Here: when the probe may stop reading.
TEST(ProbeOutputCompleteness, ReadingStopsOnceTheVersionIsClosed)
{
    struct {
        std::string soFar;
        bool complete;
    } cases[] = {
        {"", false},
        {"java version \"1.8.0", false},
        {"java version \"1.8.0_281\"", true},
        {"Picked up JAVA_TOOL_OPTIONS: -Dx=\"y\"\n", false},   // its quotes are not the version
        {"Picked up JAVA_TOOL_OPTIONS: -Dx=\"y\"\nopenjdk version \"17\"", true},
        {std::string("abc\0", 4), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProbeOutputComplete(c.soFar.data(), c.soFar.size()), c.complete) << c.soFar;
}

}  // namespace
}  // namespace sorvane
