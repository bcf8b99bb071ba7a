#include "launcher/install_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvane {
namespace {

struct LayoutCase {
    const wchar_t* modulePath;
    const wchar_t* installDirectory;
};

class InstallLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(InstallLayout, EveryPathDerivesFromTheExecutablesDirectory)
{
    const LayoutCase& c = GetParam();
    std::wstring dir = c.installDirectory;
    EXPECT_EQ(InstallDirectory(c.modulePath).c_str(), dir);
    EXPECT_EQ(LocalJavaPath(c.modulePath).c_str(), dir + L"jre\\bin\\javaw.exe");
    EXPECT_EQ(TrustStorePath(c.modulePath).c_str(), dir + L"security\\cacerts");
    EXPECT_EQ(InstallPathArgument(c.modulePath).c_str(), dir + L"\\");
    EXPECT_EQ(UpdaterJarArgument(c.modulePath).c_str(), L"\"" + dir + L"getdown-launcher-1.8.6.jar\" ");
}

INSTANTIATE_TEST_SUITE_P(
    Locations, InstallLayout,
    ::testing::Values(LayoutCase{L"C:\\Apps\\Tool\\launcher.exe", L"C:\\Apps\\Tool\\"},
                      LayoutCase{L"D:\\launcher.exe", L"D:\\"},
                      LayoutCase{L"\\\\server\\share\\Tool\\launcher.exe", L"\\\\server\\share\\Tool\\"},
                      LayoutCase{L"C:\\Program Files (x86)\\My Tool\\launcher.exe", L"C:\\Program Files (x86)\\My Tool\\"},
                      LayoutCase{L"C:\\Użytkownicy\\Ελληνικά\\launcher.exe", L"C:\\Użytkownicy\\Ελληνικά\\"},
                      LayoutCase{L"C:/mixed\\seps/launcher.exe", L"C:/mixed\\seps/"}));

TEST(InstallLayoutLimits, DirectoryLongerThanAnyLegacyBufferIsKeptWhole)
{
    std::wstring dir = L"C:\\";
    for (int i = 0; i < 200; ++i)
        dir += L"level" + std::to_wstring(i) + L"\\";
    ASSERT_GT(dir.size(), 1024u);
    std::wstring module = dir + L"launcher.exe";
    EXPECT_EQ(InstallDirectory(module.c_str()).c_str(), dir);
    EXPECT_EQ(LocalJavaPath(module.c_str()).c_str(), dir + L"jre\\bin\\javaw.exe");
}

}  // namespace
}  // namespace sorvane
