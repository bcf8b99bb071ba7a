#include "launcher/search_path.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sorvane {
namespace {

TEST(SearchPath, OnlyFullyQualifiedEntriesAreSearched)
{
    const struct {
        const wchar_t* entry;
        bool searched;
    } cases[] = {
        {L"C:\\Java\\bin", true},
        {L"C:\\Java\\bin\\", true},
        {L"c:/java/bin", true},
        {L"Z:\\", true},
        {L"\\\\server\\share\\bin", true},
        {L"//server/share/bin", true},
        {L"\\\\?\\C:\\Java\\bin", true},
        {L"\\\\.\\C:\\Java\\bin", true},
        // Each of these names the current directory, or depends on it or on the current drive.
        {L".", false},
        {L"..\\bin", false},
        {L"tools\\bin", false},
        {L"bin", false},
        {L"C:tools", false},
        {L"C:", false},
        {L"\\tools", false},
        {L"/tools", false},
        {L"%JAVA_HOME%\\bin", false},   // left unexpanded by the one who set PATH
        {L"1:\\bin", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        std::wstring entry = c.entry;
        EXPECT_EQ(IsFullyQualifiedPath(entry.c_str(), entry.size()), c.searched) << std::string(entry.begin(), entry.end());
    }
}

TEST(SearchPath, EntriesLoseSurroundingQuotesAndLeadingSpaces)
{
    const struct {
        const wchar_t* value;
        std::vector<std::wstring> entries;
    } cases[] = {
        {L"", {}},
        {L"C:\\a;C:\\b", {L"C:\\a", L"C:\\b"}},
        {L";;C:\\a;;", {L"C:\\a"}},
        {L" \"C:\\Program Files\\Java\\bin\";C:\\b", {L"C:\\Program Files\\Java\\bin", L"C:\\b"}},
        {L"\"\";\" \"", {L" "}},
        {L"\"C:\\unclosed;C:\\b", {L"\"C:\\unclosed", L"C:\\b"}},
    };
    for (const auto& c : cases) {
        SearchPathEntries entries(c.value);
        std::vector<std::wstring> got;
        const wchar_t* begin = nullptr;
        size_t length = 0;
        while (entries.next(begin, length))
            got.emplace_back(begin, length);
        EXPECT_EQ(got, c.entries) << testing::PrintToString(std::wstring(c.value));
    }
}

}  // namespace
}  // namespace sorvane
