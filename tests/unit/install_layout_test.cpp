#include "launcher/install_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace sorvane {
namespace {

TEST(DirectoryOf, IsTheDriveAndDirectoryEndingInTheSeparator)
{
    std::wstring deep = L"C:\\";
    for (int i = 0; i < 200; ++i)
        deep += L"level" + std::to_wstring(i) + L"\\";
    ASSERT_GT(deep.size(), 1024u);   // longer than any legacy buffer
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Apps\\Tool\\launcher.exe", L"C:\\Apps\\Tool\\"},
        {L"D:\\launcher.exe", L"D:\\"},
        {L"\\\\server\\share\\Tool\\launcher.exe", L"\\\\server\\share\\Tool\\"},
        {L"C:\\Program Files (x86)\\My Tool\\launcher.exe", L"C:\\Program Files (x86)\\My Tool\\"},
        {L"C:\\Użytkownicy\\Ελληνικά\\launcher.exe", L"C:\\Użytkownicy\\Ελληνικά\\"},
        {L"C:/mixed\\seps/launcher.exe", L"C:/mixed\\seps/"},
        {L"C:launcher.exe", L"C:"},
        {L"launcher.exe", L""},
        {deep + L"launcher.exe", deep},
    };
    for (const auto& [path, directory] : cases)
        EXPECT_EQ(DirectoryOf(path.c_str()).c_str(), directory);
}

}  // namespace
}  // namespace sorvane
