// The test programs' main: GoogleTest's, and where SORVANE_TEST_SUMMARY names a file, a summary of
// the run in it for the test kit's run-tests.cmd, which cmd.exe can read without parsing XML:
//   <passed> <failed> <skipped>
//   skipped <test>: <why>        one line for each test that skipped
//   failed <test>                one line for each test that failed
// ASCII only, as cmd.exe echoes it in whatever code page its console has: each other character is
// a '?' there (the XML and the program's output have the whole text).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ascii(const std::string& utf8)
{
    std::string out;
    for (unsigned char c : utf8) {
        if (c < 0x80)
            out += c == '\n' || c == '\r' ? ' ' : static_cast<char>(c);
        else if ((c & 0xC0) != 0x80)
            out += '?';   // the lead byte of a character; its continuation bytes are dropped
    }
    return out;
}

void writeSummary(const char* path)
{
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    FILE* out = std::fopen(path, "w");
    if (!out)
        return;
    std::fprintf(out, "%d %d %d\n", run.successful_test_count(), run.failed_test_count(), run.skipped_test_count());
    for (int i = 0; i < run.total_test_suite_count(); ++i) {
        const testing::TestSuite& suite = *run.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const testing::TestInfo& test = *suite.GetTestInfo(j);
            const testing::TestResult& result = *test.result();
            const std::string name = std::string(suite.name()) + "." + test.name();
            if (result.Skipped()) {
                std::string why;
                for (int k = 0; k < result.total_part_count(); ++k) {
                    if (result.GetTestPartResult(k).skipped())
                        why = result.GetTestPartResult(k).message();
                }
                std::fprintf(out, "skipped %s: %s\n", ascii(name).c_str(), ascii(why).c_str());
            } else if (result.Failed()) {
                std::fprintf(out, "failed %s\n", ascii(name).c_str());
            }
        }
    }
    std::fclose(out);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    if (const char* summary = std::getenv("SORVANE_TEST_SUMMARY"))
        writeSummary(summary);
    return status;
}
