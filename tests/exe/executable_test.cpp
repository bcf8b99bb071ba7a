// Checks the built launcher.exe itself: what the linker and the resource compiler put into it, and
// launcher-check.exe beside it, which ships with it.
// A wrong flag, a stray resource or a new runtime DLL shows up here, not in the code. The icon and
// the manifest are compared with the committed files, which this program carries (source_files.rc)
// so that it runs where there is no source tree.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr wchar_t kIconGroup[] = L"IDI_DIREDUDE";

std::string Narrow(std::wstring_view s) { return {s.begin(), s.end()}; }  // messages only; our names are ASCII

// Test programs run from build/tests/, one level below the launcher and the check.
std::wstring ShippedPath(const wchar_t* name) {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return (std::filesystem::path(self).parent_path().parent_path() / name).wstring();
}
std::wstring LauncherPath() { return ShippedPath(L"launcher.exe"); }

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;

    template <typename T>
    T At(size_t offset) const {
        if (offset > size || size - offset < sizeof(T)) throw std::out_of_range("read past the end of the data");
        T value;
        std::memcpy(&value, data + offset, sizeof(T));
        return value;
    }
    std::string_view View(size_t offset = 0, size_t count = std::string_view::npos) const {
        if (offset > size) throw std::out_of_range("read past the end of the data");
        return std::string_view(reinterpret_cast<const char*>(data), size).substr(offset, count);
    }
};

Bytes ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
    HRSRC found = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded) return {};
    return {static_cast<const uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

// A committed source file, as the build put it into this program.
Bytes SourceFile(LPCWSTR name) {
    Bytes file = ResourceBytes(nullptr, RT_RCDATA, name, kUsEnglish);
    if (!file.data) throw std::runtime_error("this program carries no " + Narrow(name));
    return file;
}

// ---------------------------------------------------------------------------------------------
// Resources, through the same APIs that Explorer and the shell use.

std::string Describe(LPCWSTR id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id)) : "\"" + Narrow(id) + "\"";
}

std::string Entry(LPCWSTR type, LPCWSTR name, WORD language) {
    std::string entry = Describe(type);
    for (auto [known, typeName] : {std::pair{RT_ICON, "RT_ICON"}, {RT_GROUP_ICON, "RT_GROUP_ICON"},
                                   {RT_VERSION, "RT_VERSION"}, {RT_MANIFEST, "RT_MANIFEST"}})
        if (type == known) entry = typeName;
    char hex[8];
    std::snprintf(hex, sizeof hex, " %04x", language);
    return entry + " " + Describe(name) + hex;
}

// Every type, name and language in the module, sorted.
std::vector<std::string> Inventory(HMODULE module) {
    std::vector<std::string> found;
    EnumResourceTypesW(
        module,
        [](HMODULE m, LPWSTR type, LONG_PTR found) -> BOOL {
            EnumResourceNamesW(
                m, type,
                [](HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR found) -> BOOL {
                    EnumResourceLanguagesW(
                        m, type, name,
                        [](HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR found) -> BOOL {
                            reinterpret_cast<std::vector<std::string>*>(found)->push_back(Entry(type, name, language));
                            return TRUE;
                        },
                        found);
                    return TRUE;
                },
                found);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&found));
    std::ranges::sort(found);
    return found;
}

class LauncherResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(LauncherPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << Narrow(LauncherPath()) << " for its resources";
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }
    Bytes Find(LPCWSTR type, LPCWSTR name) const { return ResourceBytes(module_, type, name, kUsEnglish); }

    HMODULE module_ = nullptr;
};

// A resource in another language, a second manifest (a toolchain's default one), a numbered icon
// group (IDI_DIREDUDE #defined) or a stray image: Windows would pick one, not the one meant.
TEST_F(LauncherResources, AreExactlyTheIconTheVersionAndTheManifestInUsEnglish) {
    const WORD images = SourceFile(L"LAUNCHER_ICO").At<WORD>(4);
    std::vector<std::string> expected = {Entry(RT_GROUP_ICON, kIconGroup, kUsEnglish),
                                         Entry(RT_VERSION, MAKEINTRESOURCEW(1), kUsEnglish),
                                         Entry(RT_MANIFEST, MAKEINTRESOURCEW(1), kUsEnglish)};
    for (WORD id = 1; id <= images; ++id) expected.push_back(Entry(RT_ICON, MAKEINTRESOURCEW(id), kUsEnglish));
    std::ranges::sort(expected);
    EXPECT_EQ(Inventory(module_), expected);
}

// An .ico is a 6-byte header, a 16-byte entry per image ending in the image's file offset, then
// the images. windres keeps the header, ends each 14-byte group entry in the image's resource id
// instead, numbering them 1..N in file order, and stores each image as it is.
TEST_F(LauncherResources, IconIsTheCommittedIco) {
    const Bytes ico = SourceFile(L"LAUNCHER_ICO");
    const WORD images = ico.At<WORD>(4);
    const Bytes group = Find(RT_GROUP_ICON, kIconGroup);
    ASSERT_NE(group.data, nullptr) << "no US English icon group named IDI_DIREDUDE";
    ASSERT_EQ(group.size, 6u + 14u * images) << "the .ico holds " << images << " images";
    EXPECT_EQ(group.View(0, 6), ico.View(0, 6));
    for (WORD i = 0; i < images; ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        const size_t entry = 6 + 16 * i;
        EXPECT_EQ(group.View(6 + 14 * i, 12), ico.View(entry, 12));
        EXPECT_EQ(group.At<WORD>(6 + 14 * i + 12), i + 1) << "nId";
        const std::string_view image = Find(RT_ICON, MAKEINTRESOURCEW(i + 1)).View();
        const std::string_view committed = ico.View(ico.At<DWORD>(entry + 12), ico.At<DWORD>(entry + 8));
        EXPECT_TRUE(image == committed) << image.size() << " bytes against the .ico's " << committed.size()
                                        << ", first difference at byte "
                                        << std::ranges::mismatch(image, committed).in1 - image.begin();
    }
}

TEST_F(LauncherResources, ManifestIsTheCommittedOne) {
    const std::string_view launcherManifest = Find(RT_MANIFEST, MAKEINTRESOURCEW(1)).View();
    EXPECT_EQ(launcherManifest, SourceFile(L"LAUNCHER_MANIFEST").View());
}

// The log writes ANSI bytes and must keep the system code page; long paths get \\?\ in the code,
// which behaves the same whatever a machine's LongPathsEnabled policy says.
TEST_F(LauncherResources, ManifestLeavesTheCodePageAndLongPathsAlone) {
    std::string manifest(Find(RT_MANIFEST, MAKEINTRESOURCEW(1)).View());
    for (char& c : manifest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* setting : {"activecodepage", "longpathaware"})
        EXPECT_EQ(manifest.find(setting), std::string::npos) << setting;
}

// What a byte comparison cannot tell: that Windows accepts the manifest, and so starts the launcher.
TEST_F(LauncherResources, LoaderAcceptsTheManifest) {
    const std::wstring path = LauncherPath();
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxW(&request);
    EXPECT_NE(context, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
}

// ---------------------------------------------------------------------------------------------
// The PE image as the loader sees it, read straight from the file.

class LauncherImage : public ::testing::Test {
protected:
    void SetUp() override { Load(ReadBytes(LauncherPath())); }

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

struct Shipped {
    const wchar_t* name;
    WORD subsystem;
    size_t maxBytes;
};
const Shipped kShipped[] = {
    // A console subsystem would open a console window beside the application.
    {L"launcher.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI, 64 * 1024},
    // Its page goes to the console it is started from, or to one of its own on a double-click.
    {L"launcher-check.exe", IMAGE_SUBSYSTEM_WINDOWS_CUI, 128 * 1024},
};

// Windows XP x64 (5.2) and later. Not even other system DLLs: importing USER32 or SHELL32 would
// bring the whole GUI chain into every start (the launcher loads USER32 itself, only to show its box).
TEST_F(LauncherImage, ShippedProgramsAre64BitWithinTheirSizeAndImportKernel32AndMsvcrtOnly) {
    for (const Shipped& program : kShipped) {
        SCOPED_TRACE(Narrow(program.name));
        Load(ReadBytes(ShippedPath(program.name)));
        if (HasFatalFailure()) return;
        EXPECT_EQ(header_.Machine, IMAGE_FILE_MACHINE_AMD64);
        EXPECT_EQ(optional_.Subsystem, program.subsystem);
        EXPECT_EQ(optional_.MajorSubsystemVersion, 5);
        EXPECT_EQ(optional_.MinorSubsystemVersion, 2);
        EXPECT_LE(file_.size(), program.maxBytes);
        std::vector<std::string> dlls = ImportedDlls();
        for (std::string& dll : dlls)
            for (char& c : dll) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        std::sort(dlls.begin(), dlls.end());
        EXPECT_EQ(dlls, (std::vector<std::string>{"kernel32.dll", "msvcrt.dll"}));
    }
}

// Without the flag, a Remote Desktop host gives the launcher a per-user Windows directory and the
// compatibility layer.
TEST_F(LauncherImage, IsMarkedTerminalServerAware) {
    EXPECT_TRUE(optional_.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE)
        << std::hex << "DllCharacteristics 0x" << optional_.DllCharacteristics;
}

// Not the MinGW runtime DLLs (libstdc++, libgcc, libwinpthread) nor GoogleTest's either: a clean
// Windows has none, and MSYS2 has them only on its own shell's PATH.
bool EveryWindowsHas(std::string dll) {
    static const std::vector<std::string> allowed = {"kernel32.dll", "user32.dll", "shell32.dll", "shlwapi.dll",
                                                     "advapi32.dll", "msvcrt.dll"};
    for (char& c : dll) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const bool universalCrt = dll.starts_with("api-ms-win-crt-") && dll.ends_with(".dll");
    return universalCrt || std::ranges::count(allowed, dll) == 1;
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
