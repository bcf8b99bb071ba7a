// The test programs' main: GoogleTest's, and where SORVANE_TEST_SUMMARY names a file, a summary of
// the run in it for the test kit's run-tests.cmd, which cmd.exe can read without parsing XML:
//   <passed> <failed> <skipped>
//   skipped <test>: <why>        one line for each test that skipped
//   failed <test>[: <why>]       one line for each test that failed
// It is written as the program starts and again as each test starts and ends, counting the running
// test as failed: a crash leaves every finished test counted and the one it ended named. SORVANE_TEST_TIMEOUT, in seconds,
// ends a program that runs longer, naming its running test the same way.
// ASCII only, as cmd.exe echoes it in whatever code page its console has: each other character is
// a '?' there (the XML and the program's output have the whole text).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

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

// A path in the ANSI code page, in which GoogleTest's fopen reads it; lossy tells whether the code
// page lacked a character of it.
std::string ansi(const std::wstring& text, BOOL* lossy = nullptr)
{
    const bool utf8 = GetACP() == CP_UTF8;
    std::string out(text.size() * 4, '\0');
    out.resize(WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                   out.data(), static_cast<int>(out.size()), nullptr, utf8 ? nullptr : lossy));
    return out;
}

// A folder named outside the code page gets the XML report through its 8.3 form. Without one
// (fsutil 8dot3name), the '?' in the path makes GoogleTest say that it cannot write it.
std::string xmlPath(const std::wstring& given)
{
    std::wstring path(32768, L'\0'), shortDir(32768, L'\0');
    path.resize(GetFullPathNameW(given.c_str(), 32768, path.data(), nullptr));
    BOOL lossy = FALSE;
    const std::string whole = ansi(path, &lossy);
    const std::size_t slash = path.rfind(L'\\');
    if (!lossy || slash == std::wstring::npos)
        return whole;
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    shortDir.resize(GetShortPathNameW(path.substr(0, slash).c_str(), shortDir.data(), 32768));
    return shortDir.empty() ? whole : ansi(shortDir + path.substr(slash));
}

class Summary : public testing::EmptyTestEventListener {
public:
    explicit Summary(const wchar_t* path) : path_(path ? path : L"") { write(nullptr); }

    void OnTestStart(const testing::TestInfo& test) override
    {
        const std::lock_guard lock(mutex_);
        running_ = ascii(std::string(test.test_suite_name()) + "." + test.name());
        write("the program ended while this test ran");
    }

    void OnTestEnd(const testing::TestInfo& test) override
    {
        const std::lock_guard lock(mutex_);
        const testing::TestResult& result = *test.result();
        std::string why;
        for (int k = 0; k < result.total_part_count(); ++k) {
            if (result.GetTestPartResult(k).skipped())
                why = result.GetTestPartResult(k).message();
        }
        if (result.Skipped())
            lines_ += "skipped " + running_ + ": " + ascii(why) + "\n";
        else if (result.Failed())
            lines_ += "failed " + running_ + "\n";
        ++(result.Skipped() ? skipped_ : result.Failed() ? failed_ : passed_);
        running_.clear();
        write(nullptr);
    }

    // Ends the program after that many seconds (0: never). The lock is kept until the process is
    // gone, so that no test that ends meanwhile writes over what this writes.
    void limitTo(unsigned long seconds)
    {
        if (seconds == 0)
            return;
        std::thread([this, seconds] {
            Sleep(seconds * 1000);
            mutex_.lock();
            write(("still running after " + std::to_string(seconds) + " s, so the program was ended").c_str());
            TerminateProcess(GetCurrentProcess(), WAIT_TIMEOUT);
        }).detach();
    }

private:
    // why: the running test counts as failed, for that reason.
    void write(const char* why) const
    {
        if (FILE* out = path_.empty() ? nullptr : _wfopen(path_.c_str(), L"w")) {
            std::fprintf(out, "%d %d %d\n%s", passed_, failed_ + (why ? 1 : 0), skipped_, lines_.c_str());
            if (why)
                std::fprintf(out, "failed %s: %s\n", running_.empty() ? "(between tests)" : running_.c_str(), why);
            std::fclose(out);
        }
    }

    const std::wstring path_;
    std::mutex mutex_;
    int passed_ = 0, failed_ = 0, skipped_ = 0;
    std::string lines_, running_;
};

}  // namespace

// Wide, so that the paths of the XML report and the summary arrive whole, whatever their folders' names.
int wmain(int argc, wchar_t** argv)
{
    // GoogleTest would read the report's path in UTF-8 and open it in the ANSI code page.
    const std::wstring_view xml = L"--gtest_output=xml:";
    for (int i = 1; i < argc; ++i) {
        if (std::wstring_view(argv[i]).starts_with(xml)) {
            GTEST_FLAG_SET(output, "xml:" + xmlPath(argv[i] + xml.size()));
            argv[i][0] = L'\0';
        }
    }
    testing::InitGoogleTest(&argc, argv);

    auto* summary = new Summary(_wgetenv(L"SORVANE_TEST_SUMMARY"));
    testing::UnitTest::GetInstance()->listeners().Append(summary);   // which owns it from here on
    if (const wchar_t* seconds = _wgetenv(L"SORVANE_TEST_TIMEOUT"))
        summary->limitTo(std::wcstoul(seconds, nullptr, 10));
    return RUN_ALL_TESTS();
}
