// Checks the built launcher.exe itself: what the linker and the resource compiler put into
// it. A wrong flag, a stray resource or a new runtime DLL shows up here, not in the code.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/exe/built_launcher.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <ios>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace built_launcher;

constexpr wchar_t kIconGroupName[] = L"IDI_DIREDUDE";

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

// ---------------------------------------------------------------------------------------------
// Resources, through the same APIs that Explorer and the shell use.

class LauncherResources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Module(), nullptr) << "cannot load " << Narrow(LauncherPath()) << " for its resources";
    }
    HMODULE Module() const { return resources_.module; }
    Bytes Find(LPCWSTR type, LPCWSTR name) const { return resources_.Find(type, name, kUsEnglish); }

    ResourceModule resources_;
};

TEST_F(LauncherResources, EveryResourceIsInUsEnglish) {
    size_t seen = 0;
    for (const ResourceId& type : Types(Module())) {
        for (const ResourceId& name : Names(Module(), type.Get())) {
            EXPECT_EQ(Languages(Module(), type.Get(), name.Get()), std::vector<WORD>{kUsEnglish})
                << "type " << type.Describe() << ", name " << name.Describe();
            ++seen;
        }
    }
    EXPECT_GE(seen, 9u) << "expected at least the icon group, seven icon images and the version block";
}

// GRPICONDIR: a 6-byte header, then a 14-byte GRPICONDIRENTRY per image.
TEST_F(LauncherResources, IconGroupIsNamedAndListsTheSevenImagesInFileOrder) {
    std::vector<ResourceId> groups = Names(Module(), RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].Describe(), "\"IDI_DIREDUDE\"") << "is IDI_DIREDUDE #defined somewhere?";

    Bytes group = Find(RT_GROUP_ICON, kIconGroupName);
    ASSERT_NE(group.data, nullptr) << "no US English icon group named IDI_DIREDUDE";
    EXPECT_EQ(group.At<WORD>(0), 0) << "idReserved";
    EXPECT_EQ(group.At<WORD>(2), 1) << "idType must say icon";
    ASSERT_EQ(group.At<WORD>(4), std::size(kIconImages));
    EXPECT_EQ(group.size, 6 + 14 * std::size(kIconImages));

    for (size_t i = 0; i < std::size(kIconImages); ++i) {
        const IconImage& want = kIconImages[i];
        const size_t entry = 6 + 14 * i;
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
    std::vector<std::string> ids;
    for (const ResourceId& name : Names(Module(), RT_ICON)) ids.push_back(name.Describe());
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"#1", "#2", "#3", "#4", "#5", "#6", "#7"}))
        << "no image may be missing or left over";

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
// The version block, walked as stored: Explorer shows whatever is there, so nothing may be missing or extra.

// One node of VS_VERSIONINFO: wLength, wValueLength, wType, szKey, padding, Value, padding, Children.
// Offsets are from the start of the resource, which is where the DWORD alignment counts from.
struct VersionNode {
    std::wstring key;
    WORD type = 0;
    std::vector<uint8_t> value;
    std::vector<VersionNode> children;

    // Exactly as stored, terminator(s) included.
    std::wstring Text() const { return {reinterpret_cast<const wchar_t*>(value.data()), value.size() / 2}; }
    std::vector<std::wstring> Keys() const {
        std::vector<std::wstring> keys;
        for (const VersionNode& n : children) keys.push_back(n.key);
        return keys;
    }
};

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

VersionNode ParseVersionNode(const Bytes& bytes, size_t offset, size_t limit) {
    const size_t end = offset + bytes.At<WORD>(offset);
    if (end < offset + 6 || end > limit) throw std::runtime_error("version node overruns its parent");
    VersionNode node;
    const WORD valueLength = bytes.At<WORD>(offset + 2);
    node.type = bytes.At<WORD>(offset + 4);
    size_t at = offset + 6;
    for (; at + 2 <= end && bytes.At<wchar_t>(at) != L'\0'; at += 2) node.key += bytes.At<wchar_t>(at);
    if (at + 2 > end) throw std::runtime_error("version key overruns its node");
    at = Align4(at + 2);
    const size_t valueBytes = node.type == 1 ? valueLength * sizeof(wchar_t) : valueLength;
    if (at + valueBytes > end) throw std::runtime_error("value of \"" + Narrow(node.key) + "\" overruns its node");
    node.value.assign(bytes.data + at, bytes.data + at + valueBytes);
    for (at = Align4(at + valueBytes); at < end;) {
        node.children.push_back(ParseVersionNode(bytes, at, end));
        at = Align4(at + bytes.At<WORD>(at));
    }
    return node;
}

TEST_F(LauncherResources, VersionBlockHoldsExactlyTheExpectedValues) {
    EXPECT_EQ(Names(Module(), RT_VERSION).size(), 1u);
    Bytes raw = Find(RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_NE(raw.data, nullptr) << "no US English version resource with id 1";
    VersionNode root;
    ASSERT_NO_THROW(root = ParseVersionNode(raw, 0, raw.size));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");

    // The project's version (as the build hands it to the resource script) and nothing else set.
    constexpr WORD version[] = {SORVANE_VERSION};
    ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.value.data(), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    const struct {
        const char* field;
        DWORD actual;
        DWORD expected;
    } fields[] = {
        {"dwFileVersionMS", fixed.dwFileVersionMS, MAKELONG(version[1], version[0])},
        {"dwFileVersionLS", fixed.dwFileVersionLS, MAKELONG(version[3], version[2])},
        {"dwProductVersionMS", fixed.dwProductVersionMS, MAKELONG(version[1], version[0])},
        {"dwProductVersionLS", fixed.dwProductVersionLS, MAKELONG(version[3], version[2])},
        {"dwFileFlagsMask", fixed.dwFileFlagsMask, 0},
        {"dwFileFlags", fixed.dwFileFlags, 0},
        {"dwFileOS", fixed.dwFileOS, 0},
        {"dwFileType", fixed.dwFileType, 0},
        {"dwFileSubtype", fixed.dwFileSubtype, 0},
        {"dwFileDateMS", fixed.dwFileDateMS, 0},
        {"dwFileDateLS", fixed.dwFileDateLS, 0},
    };
    for (const auto& f : fields) EXPECT_EQ(f.actual, f.expected) << f.field;

    std::vector<std::wstring> blocks = root.Keys();
    std::sort(blocks.begin(), blocks.end());
    ASSERT_EQ(blocks, (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));
    for (const VersionNode& block : root.children) {
        if (block.key == L"VarFileInfo") {
            ASSERT_EQ(block.Keys(), std::vector<std::wstring>{L"Translation"});
            EXPECT_EQ(block.children[0].type, 0) << "binary";
            EXPECT_EQ(block.children[0].value, (std::vector<uint8_t>{0x09, 0x04, 0xb0, 0x04})) << "US English, Unicode";
            continue;
        }
        ASSERT_EQ(block.Keys(), std::vector<std::wstring>{L"040904b0"}) << "exactly one string table";
        // All of them, in this order; anything more (ProductName, FileVersion...) is wrong.
        const std::vector<std::pair<std::wstring, std::wstring>> expected = {
            {L"Comments", L"Sorvane Launcher"},
            {L"CompanyName", L"Sorvane"},
            {L"FileDescription", L"Sorvane Application Launcher"},
        };
        const std::vector<VersionNode>& strings = block.children[0].children;
        ASSERT_EQ(strings.size(), expected.size()) << testing::PrintToString(block.children[0].Keys());
        for (size_t i = 0; i < strings.size(); ++i) {
            SCOPED_TRACE("string " + std::to_string(i));
            EXPECT_EQ(strings[i].key, expected[i].first);
            EXPECT_EQ(strings[i].type, 1) << "text";
            // Counted in characters, with exactly one terminating null.
            EXPECT_EQ(strings[i].Text(), expected[i].second + L'\0');
            EXPECT_TRUE(strings[i].children.empty());
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The PE image as the loader sees it, read straight from the file.

class LauncherImage : public ::testing::Test {
protected:
    void SetUp() override { Load(ReadLauncher()); }

    // Another image in place of the launcher's; check HasFatalFailure() after it.
    void Load(std::vector<uint8_t> file) {
        file_ = std::move(file);
        bytes_ = {file_.data(), file_.size()};
        ASSERT_EQ(bytes_.At<WORD>(0), IMAGE_DOS_SIGNATURE);
        const size_t nt = bytes_.At<LONG>(offsetof(IMAGE_DOS_HEADER, e_lfanew));
        ASSERT_EQ(bytes_.At<DWORD>(nt), IMAGE_NT_SIGNATURE);
        header_ = bytes_.At<IMAGE_FILE_HEADER>(nt + sizeof(DWORD));
        const size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
        ASSERT_EQ(bytes_.At<WORD>(optional), IMAGE_NT_OPTIONAL_HDR64_MAGIC) << "not a PE32+ image";
        optional_ = bytes_.At<IMAGE_OPTIONAL_HEADER64>(optional);
        sections_ = optional + header_.SizeOfOptionalHeader;
    }

    size_t FileOffset(DWORD rva) const {
        for (WORD i = 0; i < header_.NumberOfSections; ++i) {
            auto s = bytes_.At<IMAGE_SECTION_HEADER>(sections_ + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        throw std::out_of_range("RVA " + std::to_string(rva) + " is in no section");
    }

    std::string StringAt(DWORD rva) const {
        std::string s;
        for (size_t at = FileOffset(rva); char c = bytes_.At<char>(at); ++at) s += c;
        return s;
    }

    // Each descriptor table ends with an all-zero entry; only the name field matters here.
    template <typename Descriptor>
    void AddDlls(int directory, DWORD Descriptor::*name, std::vector<std::string>* dlls) const {
        if (static_cast<DWORD>(directory) >= optional_.NumberOfRvaAndSizes) return;
        if (DWORD rva = optional_.DataDirectory[directory].VirtualAddress) {
            for (size_t at = FileOffset(rva); DWORD dll = bytes_.At<Descriptor>(at).*name; at += sizeof(Descriptor))
                dlls->push_back(StringAt(dll));
        }
    }

    std::vector<std::string> ImportedDlls() const {
        std::vector<std::string> dlls;
        AddDlls(IMAGE_DIRECTORY_ENTRY_IMPORT, &IMAGE_IMPORT_DESCRIPTOR::Name, &dlls);
        // MinGW writes RVA-based delay descriptors; an address-based one would misread and fail here.
        AddDlls(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT, &IMAGE_DELAYLOAD_DESCRIPTOR::DllNameRVA, &dlls);
        return dlls;
    }

    // Names (or "#ordinal") in every import lookup table of the import directory: what the loader
    // resolves before the first instruction runs, so a missing one stops the program from starting.
    std::vector<std::string> StaticallyImportedFunctions() const {
        std::vector<std::string> functions;
        DWORD rva = optional_.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (size_t at = rva ? FileOffset(rva) : 0; rva && bytes_.At<IMAGE_IMPORT_DESCRIPTOR>(at).Name;
             at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto descriptor = bytes_.At<IMAGE_IMPORT_DESCRIPTOR>(at);
            const DWORD table = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
            for (size_t entry = FileOffset(table); ULONGLONG thunk = bytes_.At<ULONGLONG>(entry);
                 entry += sizeof(ULONGLONG)) {
                if (IMAGE_SNAP_BY_ORDINAL64(thunk))
                    functions.push_back("#" + std::to_string(IMAGE_ORDINAL64(thunk)));
                else
                    functions.push_back(StringAt(static_cast<DWORD>(thunk) + offsetof(IMAGE_IMPORT_BY_NAME, Name)));
            }
        }
        return functions;
    }

    std::vector<uint8_t> file_;
    Bytes bytes_;
    IMAGE_FILE_HEADER header_{};
    IMAGE_OPTIONAL_HEADER64 optional_{};
    size_t sections_ = 0;
};

TEST_F(LauncherImage, IsA64BitGuiProgramForWindowsXp64AndLater) {
    EXPECT_EQ(header_.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(optional_.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI) << "a console subsystem opens a console window";
    EXPECT_EQ(optional_.MajorSubsystemVersion, 5);
    EXPECT_EQ(optional_.MinorSubsystemVersion, 2);
}

// Without the flag, a Remote Desktop host gives the launcher a per-user Windows directory and the
// compatibility layer.
TEST_F(LauncherImage, IsMarkedTerminalServerAware) {
    EXPECT_TRUE(optional_.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE)
        << std::hex << "DllCharacteristics 0x" << optional_.DllCharacteristics;
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

// Not the MinGW runtime DLLs (libstdc++, libgcc, libwinpthread) nor GoogleTest's either: a clean
// Windows has none, and MSYS2 has them only on its own shell's PATH.
bool EveryWindowsHas(std::string dll) {
    static const std::vector<std::string> allowed = {"kernel32.dll", "user32.dll",   "shell32.dll",
                                                     "shlwapi.dll",  "advapi32.dll", "msvcrt.dll"};
    for (char& c : dll) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const bool universalCrt = dll.starts_with("api-ms-win-crt-") && dll.ends_with(".dll");
    return universalCrt || std::ranges::count(allowed, dll) == 1;
}

TEST_F(LauncherImage, ImportsOnlySystemDlls) {
    const std::vector<std::string> dlls = ImportedDlls();
    ASSERT_FALSE(dlls.empty()) << "no import directory found";
    for (const std::string& dll : dlls) EXPECT_TRUE(EveryWindowsHas(dll)) << dll << " is not a DLL that every Windows has";
    EXPECT_EQ(std::ranges::count_if(dlls, [](const std::string& dll) { return _stricmp(dll.c_str(), "kernel32.dll") == 0; }), 1)
        << "the import directory was misread";
}

// The test programs and stubs beside this one start anywhere too: from cmd.exe, a double-click, a
// debugger or a CI step in another shell, with no MinGW bin directory on PATH.
TEST_F(LauncherImage, EveryTestProgramImportsOnlySystemDlls) {
    std::vector<std::string> programs;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(LauncherPath()).parent_path() / "tests")) {
        if (entry.path().extension() != ".exe") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        programs.push_back(name);
        Load(ReadBytes(entry.path()));
        if (HasFatalFailure()) return;
        const std::vector<std::string> dlls = ImportedDlls();
        EXPECT_FALSE(dlls.empty()) << "no import directory found";
        for (const std::string& dll : dlls) EXPECT_TRUE(EveryWindowsHas(dll)) << name << " imports " << dll;
    }
    for (const char* known : {"unit_test.exe", "e2e_test.exe", "executable_test.exe", "java.exe", "javaw.exe"})
        EXPECT_EQ(std::ranges::count(programs, known), 1) << "the test directory was misread: no " << known;
}

// The manifest declares Windows 7, where these exports exist only with an update installed: the
// launcher must look them up at run time.
TEST_F(LauncherImage, ImportsNoFunctionThatWindows7MayLack) {
    const std::vector<std::string> functions = StaticallyImportedFunctions();
    for (const char* known : {"CreateProcessW", "LockFileEx"})
        ASSERT_EQ(std::ranges::count(functions, known), 1) << "the import lookup tables were misread: no " << known;
    for (const char* lateBound : {"SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory"})
        EXPECT_EQ(std::ranges::count(functions, lateBound), 0) << lateBound << " is imported statically";
}

// Wine never raises the "There is no disk in the drive" prompt, so what keeps the program search
// from raising it on Windows is checked here: the thread's error mode is set, never the process's,
// which the Java child would inherit.
TEST_F(LauncherImage, TurnsOffCriticalErrorPromptsForItsThreadOnly) {
    const std::vector<std::string> functions = StaticallyImportedFunctions();
    EXPECT_EQ(std::ranges::count(functions, "SetThreadErrorMode"), 1);
    EXPECT_EQ(std::ranges::count(functions, "SetErrorMode"), 0) << "the Java child would inherit the process's mode";
}

}  // namespace
