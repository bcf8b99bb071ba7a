// Checks the built launcher.exe itself: what the linker and the resource compiler put into
// it. A wrong flag, a stray resource or a new runtime DLL shows up here, not in the code.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/exe/built_launcher.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using built_launcher::Bytes;
using built_launcher::LauncherPath;
using built_launcher::ResourceModule;

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr wchar_t kIconGroupName[] = L"IDI_DIREDUDE";

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());  // messages only; our names are ASCII
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return s;
}

// Bounds-checked little-endian reads: a malformed file fails the test instead of crashing it.
std::vector<uint8_t> ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + Narrow(path));
    std::unique_ptr<void, decltype(&CloseHandle)> closer(file, &CloseHandle);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) throw std::runtime_error("GetFileSizeEx failed");
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
        throw std::runtime_error("cannot read " + Narrow(path));
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Resources, through the same APIs that Explorer and the shell use.


// A resource type or name as the enumeration APIs hand it out: a number or a string.
struct ResourceId {
    bool numeric = false;
    WORD number = 0;
    std::wstring text;

    static ResourceId From(LPCWSTR id) {
        if (IS_INTRESOURCE(id)) return {true, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id)), {}};
        return {false, 0, id};
    }
    LPCWSTR Get() const { return numeric ? MAKEINTRESOURCEW(number) : text.c_str(); }
    std::string Describe() const { return numeric ? "#" + std::to_string(number) : "\"" + Narrow(text) + "\""; }
};

std::vector<ResourceId> Types(HMODULE module) {
    std::vector<ResourceId> out;
    EnumResourceTypesW(
        module,
        [](HMODULE, LPWSTR type, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::vector<ResourceId>*>(param)->push_back(ResourceId::From(type));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&out));
    return out;
}

std::vector<ResourceId> Names(HMODULE module, LPCWSTR type) {
    std::vector<ResourceId> out;
    EnumResourceNamesW(
        module, type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::vector<ResourceId>*>(param)->push_back(ResourceId::From(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&out));
    return out;
}

std::vector<WORD> Languages(HMODULE module, LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> out;
    EnumResourceLanguagesW(
        module, type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&out));
    return out;
}

struct IconImage {
    WORD id;
    BYTE size;
    WORD bits;
};

// File order of launcher.ico; windres numbers the images in that order.
constexpr IconImage kIconImages[] = {
    {1, 48, 8}, {2, 32, 8}, {3, 24, 8}, {4, 16, 8}, {5, 48, 24}, {6, 32, 24}, {7, 16, 24},
};

// The on-disk layout of an icon image: header, palette, XOR bitmap, 1-bit AND mask, rows padded to 4 bytes.
size_t DibBytes(const IconImage& image) {
    size_t palette = image.bits <= 8 ? (size_t{1} << image.bits) * sizeof(RGBQUAD) : 0;
    size_t colourRow = (image.size * image.bits / 8 + 3) & ~size_t{3};
    size_t maskRow = ((image.size + 7) / 8 + 3) & ~size_t{3};
    return sizeof(BITMAPINFOHEADER) + palette + (colourRow + maskRow) * image.size;
}

// GRPICONDIR: 6-byte header, then 14-byte GRPICONDIRENTRY records.
constexpr size_t kGroupHeader = 6;
constexpr size_t kGroupEntry = 14;

class LauncherResources : public ::testing::Test {
protected:
    static void SetUpTestSuite() { resources_ = new ResourceModule; }
    static void TearDownTestSuite() {
        delete resources_;
        resources_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(resources_->module, nullptr) << "cannot load " << Narrow(LauncherPath()) << " for its resources";
    }
    static HMODULE Module() { return resources_->module; }
    static Bytes Find(LPCWSTR type, LPCWSTR name) { return resources_->Find(type, name, kUsEnglish); }

    static ResourceModule* resources_;
};
ResourceModule* LauncherResources::resources_ = nullptr;

TEST_F(LauncherResources, EveryResourceIsInUsEnglish) {
    size_t seen = 0;
    for (const ResourceId& type : Types(Module())) {
        for (const ResourceId& name : Names(Module(), type.Get())) {
            std::vector<WORD> languages = Languages(Module(), type.Get(), name.Get());
            EXPECT_EQ(languages, std::vector<WORD>{kUsEnglish})
                << "type " << type.Describe() << ", name " << name.Describe();
            ++seen;
        }
    }
    EXPECT_GE(seen, 9u) << "expected at least the icon group, seven icon images and the version block";
}

TEST_F(LauncherResources, IconGroupIsNamedNotNumbered) {
    std::vector<ResourceId> groups = Names(Module(), RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_FALSE(groups[0].numeric) << "the icon group got the number " << groups[0].number
                                    << "; is IDI_DIREDUDE #defined somewhere?";
    EXPECT_EQ(groups[0].text, kIconGroupName);
}

TEST_F(LauncherResources, IconGroupListsTheSevenImagesInFileOrder) {
    Bytes group = Find(RT_GROUP_ICON, kIconGroupName);
    ASSERT_NE(group.data, nullptr) << "no US English icon group named IDI_DIREDUDE";
    EXPECT_EQ(group.At<WORD>(0), 0) << "idReserved";
    EXPECT_EQ(group.At<WORD>(2), 1) << "idType must say icon";
    const size_t count = std::size(kIconImages);
    ASSERT_EQ(group.At<WORD>(4), count);
    EXPECT_EQ(group.size, kGroupHeader + kGroupEntry * count);

    for (size_t i = 0; i < count; ++i) {
        const IconImage& want = kIconImages[i];
        const size_t entry = kGroupHeader + kGroupEntry * i;
        SCOPED_TRACE("entry " + std::to_string(i) + ": " + std::to_string(want.size) + " px, " +
                     std::to_string(want.bits) + " bpp");
        EXPECT_EQ(group.At<BYTE>(entry + 0), want.size) << "bWidth";
        EXPECT_EQ(group.At<BYTE>(entry + 1), want.size) << "bHeight";
        EXPECT_EQ(group.At<BYTE>(entry + 2), 0) << "bColorCount (0 for 256 colours and more)";
        EXPECT_EQ(group.At<WORD>(entry + 4), 1) << "wPlanes";
        EXPECT_EQ(group.At<WORD>(entry + 6), want.bits) << "wBitCount";
        EXPECT_EQ(group.At<DWORD>(entry + 8), DibBytes(want)) << "dwBytesInRes";
        EXPECT_EQ(group.At<WORD>(entry + 12), want.id) << "nId";
    }
}

TEST_F(LauncherResources, EachIconImageIsAnUncompressedDibOfItsSize) {
    std::vector<WORD> ids;
    for (const ResourceId& name : Names(Module(), RT_ICON)) {
        ASSERT_TRUE(name.numeric) << "icon image named " << name.Describe();
        ids.push_back(name.number);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<WORD>{1, 2, 3, 4, 5, 6, 7})) << "no image may be missing or left over";

    for (const IconImage& want : kIconImages) {
        SCOPED_TRACE("icon image " + std::to_string(want.id));
        Bytes image = Find(RT_ICON, MAKEINTRESOURCEW(want.id));
        ASSERT_NE(image.data, nullptr) << "missing in US English";
        EXPECT_EQ(image.size, DibBytes(want));
        BITMAPINFOHEADER header = image.At<BITMAPINFOHEADER>(0);
        EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(header.biWidth, want.size);
        EXPECT_EQ(header.biHeight, 2 * want.size) << "XOR bitmap and AND mask together";
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, want.bits);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    }
}

// ---------------------------------------------------------------------------------------------
// The version block, as Explorer's Details tab reads it and as stored.

struct VersionBlock {
    std::vector<uint8_t> data;

    template <typename T>
    const T* Query(const wchar_t* path, UINT* length) const {
        void* value = nullptr;
        *length = 0;
        if (!VerQueryValueW(data.data(), path, &value, length)) return nullptr;
        return static_cast<const T*>(value);
    }
};

VersionBlock LoadVersionBlock() {
    std::wstring path = LauncherPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) throw std::runtime_error("launcher.exe has no version block");
    VersionBlock block{std::vector<uint8_t>(size)};
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data.data()))
        throw std::runtime_error("GetFileVersionInfoW failed");
    return block;
}

TEST(LauncherVersion, FixedFileInfoIsVersionOneWithNothingElseSet) {
    VersionBlock block = LoadVersionBlock();
    UINT length = 0;
    const VS_FIXEDFILEINFO* fixed = block.Query<VS_FIXEDFILEINFO>(L"\\", &length);
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);

    const struct {
        const char* field;
        DWORD actual;
        DWORD expected;
    } fields[] = {
        {"dwFileVersionMS", fixed->dwFileVersionMS, MAKELONG(0, 1)},
        {"dwFileVersionLS", fixed->dwFileVersionLS, 0},
        {"dwProductVersionMS", fixed->dwProductVersionMS, MAKELONG(0, 1)},
        {"dwProductVersionLS", fixed->dwProductVersionLS, 0},
        {"dwFileFlagsMask", fixed->dwFileFlagsMask, 0},
        {"dwFileFlags", fixed->dwFileFlags, 0},
        {"dwFileOS", fixed->dwFileOS, 0},
        {"dwFileType", fixed->dwFileType, 0},
        {"dwFileSubtype", fixed->dwFileSubtype, 0},
        {"dwFileDateMS", fixed->dwFileDateMS, 0},
        {"dwFileDateLS", fixed->dwFileDateLS, 0},
    };
    for (const auto& f : fields) EXPECT_EQ(f.actual, f.expected) << f.field;
}

TEST(LauncherVersion, TranslationIsUsEnglishUnicode) {
    VersionBlock block = LoadVersionBlock();
    UINT length = 0;
    const WORD* translation = block.Query<WORD>(L"\\VarFileInfo\\Translation", &length);
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 2 * sizeof(WORD)) << "exactly one language/code page pair";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04b0);
}

struct VersionString {
    const wchar_t* key;
    const wchar_t* value;
};

// All of them, in this order; anything more (ProductName, FileVersion...) is wrong.
constexpr VersionString kVersionStrings[] = {
    {L"Comments", L"Sorvane Launcher"},
    {L"CompanyName", L"Sorvane"},
    {L"FileDescription", L"Sorvane Application Launcher"},
};

TEST(LauncherVersion, StringsReadBackThroughVerQueryValue) {
    VersionBlock block = LoadVersionBlock();
    for (const VersionString& want : kVersionStrings) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + want.key;
        UINT length = 0;
        const wchar_t* value = block.Query<wchar_t>(path.c_str(), &length);
        ASSERT_NE(value, nullptr) << Narrow(want.key);
        EXPECT_EQ(std::wstring(value), want.value) << Narrow(want.key);
    }
}

// One node of VS_VERSIONINFO: wLength, wValueLength, wType, szKey, padding, Value, padding, Children.
// Offsets are from the start of the resource, which is where the DWORD alignment counts from.
struct VersionNode {
    std::wstring key;
    WORD type = 0;
    WORD valueLength = 0;
    std::vector<uint8_t> value;
    std::vector<VersionNode> children;

    // The value of a text node exactly as stored, terminator(s) included.
    std::wstring StoredText() const {
        std::wstring text(value.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), value.data(), text.size() * sizeof(wchar_t));
        return text;
    }
};

size_t Align4(size_t offset) {
    return (offset + 3) & ~size_t{3};
}

VersionNode ParseVersionNode(const Bytes& bytes, size_t offset, size_t limit, size_t* end) {
    const WORD length = bytes.At<WORD>(offset);
    if (length < 6 || offset + length > limit) throw std::runtime_error("version node overruns its parent");
    *end = offset + length;
    VersionNode node;
    node.valueLength = bytes.At<WORD>(offset + 2);
    node.type = bytes.At<WORD>(offset + 4);
    size_t at = offset + 6;
    for (;; at += sizeof(wchar_t)) {
        if (at + sizeof(wchar_t) > *end) throw std::runtime_error("version key overruns its node");
        wchar_t c = bytes.At<wchar_t>(at);
        if (c == L'\0') break;
        node.key += c;
    }
    at = Align4(at + sizeof(wchar_t));
    const size_t valueBytes = node.type == 1 ? node.valueLength * sizeof(wchar_t) : node.valueLength;
    if (at + valueBytes > *end) throw std::runtime_error("value of \"" + Narrow(node.key) + "\" overruns its node");
    node.value.assign(bytes.data + at, bytes.data + at + valueBytes);
    at = Align4(at + valueBytes);
    while (at < *end) {
        size_t childEnd = 0;
        node.children.push_back(ParseVersionNode(bytes, at, *end, &childEnd));
        at = Align4(childEnd);
    }
    return node;
}

std::vector<std::wstring> Keys(const std::vector<VersionNode>& nodes) {
    std::vector<std::wstring> keys;
    for (const VersionNode& n : nodes) keys.push_back(n.key);
    return keys;
}

TEST_F(LauncherResources, VersionBlockHoldsExactlyTheExpectedStrings) {
    EXPECT_EQ(Names(Module(), RT_VERSION).size(), 1u);
    Bytes raw = Find(RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_NE(raw.data, nullptr) << "no US English version resource with id 1";

    size_t end = 0;
    VersionNode root = ParseVersionNode(raw, 0, raw.size, &end);
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    EXPECT_EQ(root.valueLength, sizeof(VS_FIXEDFILEINFO));
    std::vector<std::wstring> blocks = Keys(root.children);
    std::sort(blocks.begin(), blocks.end());
    ASSERT_EQ(blocks, (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));

    for (const VersionNode& block : root.children) {
        if (block.key == L"StringFileInfo") {
            ASSERT_EQ(Keys(block.children), std::vector<std::wstring>{L"040904b0"}) << "exactly one string table";
            const std::vector<VersionNode>& strings = block.children[0].children;
            ASSERT_EQ(strings.size(), std::size(kVersionStrings)) << "strings: " << testing::PrintToString(Keys(strings));
            for (size_t i = 0; i < strings.size(); ++i) {
                const VersionString& want = kVersionStrings[i];
                SCOPED_TRACE("string " + std::to_string(i));
                EXPECT_EQ(strings[i].key, want.key);
                EXPECT_EQ(strings[i].type, 1) << "text";
                // Counted in characters, with exactly one terminating null.
                EXPECT_EQ(strings[i].StoredText(), std::wstring(want.value) + L'\0');
                EXPECT_TRUE(strings[i].children.empty());
            }
        } else {
            ASSERT_EQ(Keys(block.children), std::vector<std::wstring>{L"Translation"});
            EXPECT_EQ(block.children[0].type, 0) << "binary";
            EXPECT_EQ(block.children[0].value, (std::vector<uint8_t>{0x09, 0x04, 0xb0, 0x04}));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The PE image as the loader sees it, read straight from the file.

class LauncherImage : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = ReadWholeFile(LauncherPath());
        bytes_ = {file_.data(), file_.size()};
        ASSERT_EQ(bytes_.At<WORD>(0), IMAGE_DOS_SIGNATURE);
        nt_ = bytes_.At<LONG>(offsetof(IMAGE_DOS_HEADER, e_lfanew));
        ASSERT_EQ(bytes_.At<DWORD>(nt_), IMAGE_NT_SIGNATURE);
        header_ = bytes_.At<IMAGE_FILE_HEADER>(nt_ + sizeof(DWORD));
        ASSERT_EQ(bytes_.At<WORD>(OptionalHeaderOffset()), IMAGE_NT_OPTIONAL_HDR64_MAGIC) << "not a PE32+ image";
        optional_ = bytes_.At<IMAGE_OPTIONAL_HEADER64>(OptionalHeaderOffset());
    }

    size_t OptionalHeaderOffset() const { return nt_ + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER); }

    size_t FileOffset(DWORD rva) const {
        size_t sections = OptionalHeaderOffset() + header_.SizeOfOptionalHeader;
        for (WORD i = 0; i < header_.NumberOfSections; ++i) {
            auto s = bytes_.At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
            DWORD span = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < span)
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        throw std::out_of_range("RVA " + std::to_string(rva) + " is in no section");
    }

    std::string StringAt(DWORD rva) const {
        std::string s;
        for (size_t at = FileOffset(rva); char c = bytes_.At<char>(at); ++at) s += c;
        return s;
    }

    IMAGE_DATA_DIRECTORY Directory(int index) const {
        if (static_cast<DWORD>(index) >= optional_.NumberOfRvaAndSizes) return {};
        return optional_.DataDirectory[index];
    }

    std::vector<std::string> ImportedDlls() const {
        std::vector<std::string> dlls;
        if (DWORD rva = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress) {
            for (size_t at = FileOffset(rva);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
                auto d = bytes_.At<IMAGE_IMPORT_DESCRIPTOR>(at);
                if (d.Name == 0) break;
                dlls.push_back(StringAt(d.Name));
            }
        }
        if (DWORD rva = Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).VirtualAddress) {
            for (size_t at = FileOffset(rva);; at += sizeof(IMAGE_DELAYLOAD_DESCRIPTOR)) {
                auto d = bytes_.At<IMAGE_DELAYLOAD_DESCRIPTOR>(at);
                if (d.DllNameRVA == 0) break;
                // Old-style delay descriptors hold addresses, not RVAs.
                DWORD name = d.Attributes.RvaBased ? d.DllNameRVA
                                                   : static_cast<DWORD>(d.DllNameRVA - optional_.ImageBase);
                dlls.push_back(StringAt(name));
            }
        }
        return dlls;
    }

    std::vector<uint8_t> file_;
    Bytes bytes_;
    size_t nt_ = 0;
    IMAGE_FILE_HEADER header_{};
    IMAGE_OPTIONAL_HEADER64 optional_{};
};

TEST_F(LauncherImage, IsA64BitGuiProgramForWindowsXp64AndLater) {
    EXPECT_EQ(header_.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(optional_.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI) << "a console subsystem opens a console window";
    EXPECT_EQ(optional_.MajorSubsystemVersion, 5);
    EXPECT_EQ(optional_.MinorSubsystemVersion, 2);
}

TEST_F(LauncherImage, CarriesNoLinkTimestamp) {
    EXPECT_EQ(header_.TimeDateStamp, 0u) << "the same sources must link to the same bytes";
}

// Compiler-recorded paths (__FILE__, debug info) would make the bytes depend on where it was built.
TEST_F(LauncherImage, ContainsNoPathOfTheBuildMachine) {
    for (const std::string path : {SORVANE_SOURCE_DIR, SORVANE_BINARY_DIR}) {
        std::string wide;
        for (char c : path) wide += {c, '\0'};
        for (const std::string& needle : {path, wide}) {
            auto hit = std::search(file_.begin(), file_.end(), needle.begin(), needle.end());
            EXPECT_TRUE(hit == file_.end()) << "\"" << path << "\" at offset " << (hit - file_.begin())
                                            << (needle.size() > path.size() ? " (UTF-16)" : "");
        }
    }
}

TEST_F(LauncherImage, ImportsOnlySystemDlls) {
    static const char* const kAllowed[] = {"kernel32.dll", "user32.dll",   "shell32.dll",
                                           "shlwapi.dll",  "advapi32.dll", "msvcrt.dll"};
    // The MinGW runtime DLLs are absent from a clean Windows: they must be linked in statically.
    static const char* const kForbidden[] = {"libstdc++", "libgcc", "libwinpthread"};

    std::vector<std::string> dlls = ImportedDlls();
    ASSERT_FALSE(dlls.empty()) << "no import directory found";
    bool kernel32 = false;
    for (const std::string& dll : dlls) {
        const std::string name = Lower(dll);
        kernel32 = kernel32 || name == "kernel32.dll";
        for (const char* forbidden : kForbidden)
            EXPECT_TRUE(name.find(forbidden) == std::string::npos) << dll << " is a MinGW runtime DLL";
        const bool universalCrt = name.starts_with("api-ms-win-crt-") && name.ends_with(".dll");
        const bool allowed = universalCrt || std::find(std::begin(kAllowed), std::end(kAllowed), name) != std::end(kAllowed);
        EXPECT_TRUE(allowed) << dll << " is not a DLL that every Windows has";
    }
    EXPECT_TRUE(kernel32) << "the import directory was misread";
}

}  // namespace
