#include "launcher/java_version.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvane {
namespace {

struct OutputCase {
    const char* name;
    std::string output;
    bool found;
    const char* version;
    double number;
};

class ProbeOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(ProbeOutput, GivesTheVersionTextAndItsNumber)
{
    const OutputCase& c = GetParam();
    ByteBuffer version;
    EXPECT_EQ(FindJavaVersionText(c.output.data(), c.output.size(), version), c.found);
    EXPECT_EQ(std::string(version.c_str()), c.version);
    EXPECT_DOUBLE_EQ(JavaVersionNumber(version.c_str()), c.number);
}

const OutputCase kOutputs[] = {
    {"Java8", "java version \"1.8.0_281\"\r\nJava(TM) SE Runtime Environment (build 1.8.0_281-b09)\r\n", true, "1.8.0_281", 1.8},
    {"Java7", "java version \"1.7.0_80\"\n", true, "1.7.0_80", 1.7},
    {"Java6", "java version \"1.6.0_45\"\n", true, "1.6.0_45", 1.6},
    {"Java9", "java version \"9\"\n", true, "9", 9},
    {"Java11", "java version \"11.0.2\" 2019-01-15 LTS\n", true, "11.0.2", 11},
    {"Java17", "java version \"17\" 2021-09-14 LTS\n", true, "17", 17},
    {"EarlyAccess17", "openjdk version \"17-ea\" 2021-09-14\n", true, "17-ea", 17},
    {"Java21", "java version \"21.0.2\" 2024-01-16 LTS\n", true, "21.0.2", 21},
    {"EarlyAccess8", "java version \"1.8.0_202-ea\"\n", true, "1.8.0_202-ea", 1.8},
    {"OpenJdk17",
     "openjdk version \"17.0.15\" 2025-04-15\nOpenJDK Runtime Environment (build 17.0.15+6-Debian-1deb12u1)\n"
     "OpenJDK 64-Bit Server VM (build 17.0.15+6-Debian-1deb12u1, mixed mode, sharing)\n",
     true, "17.0.15", 17},
    {"EmptyQuotedVersion", "java version \"\"\n", true, "", 0},
    {"PickedUpLineWithQuotes",
     "Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=\"UTF-8\" -Dx=\"a b\"\njava version \"1.8.0_281\"\n", true, "1.8.0_281", 1.8},
    {"PickedUpOptionsLine", "Picked up _JAVA_OPTIONS: -Xmx512m\nopenjdk version \"11.0.2\"\n", true, "11.0.2", 11},
    {"OneQuote", "java version \"1.8.0_281\n", false, "", 0},
    {"NoQuote", "java version 1.8.0_281\n", false, "", 0},
    {"Nothing", "", false, "", 0},
    {"NotJava", "'java' is not recognized as an internal or external command\r\n", false, "", 0},
    {"QuotedTextWithoutPhrase", "jdk \"1.8.0\"\n", true, "1.8.0", 1.8},
    {"OnlyPhraseLetters", "version \"1.8\"", true, "1.8", 1.8},
    {"PhraseLettersOnlyAroundQuotes", "rev \"seen\"", false, "", 0},
    {"ZeroByteEndsTheText", std::string("java version \"1.8", 17) + std::string(1, '\0') + "\"\n", false, "", 0},
    {"ZeroByteAfterVersion", std::string("java version \"1.8.0\"\0junk\"", 26), true, "1.8.0", 1.8},
};

INSTANTIATE_TEST_SUITE_P(RealOutputs, ProbeOutput, ::testing::ValuesIn(kOutputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeOutputLimits, VersionTextKeepsAtMost99Characters)
{
    std::string output = "java version \"" + std::string(150, '7') + "\"";
    ByteBuffer version;
    ASSERT_TRUE(FindJavaVersionText(output.data(), output.size(), version));
    EXPECT_EQ(std::string(version.c_str()), std::string(99, '7'));
}

TEST(ProbeOutputLimits, NumberUsesAtofRules)
{
    EXPECT_DOUBLE_EQ(JavaVersionNumber("  1.7.0"), 1.7);
    EXPECT_DOUBLE_EQ(JavaVersionNumber("x1.8"), 0);
    EXPECT_DOUBLE_EQ(JavaVersionNumber(nullptr), 0);
    EXPECT_GE(JavaVersionNumber("1.7"), SYSTEM_JAVA_MIN_VERSION);
    EXPECT_LT(JavaVersionNumber("1.69"), SYSTEM_JAVA_MIN_VERSION);
}

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
