// The built launcher.exe, as the tests that read it back find and load it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace built_launcher {

inline constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

inline std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());  // messages only; our names are ASCII
}

// Tests run from build/tests/, one level below the launcher.
inline std::wstring LauncherPath() {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) throw std::runtime_error("GetModuleFileNameW failed");
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    std::wstring joined = self.substr(0, self.find_last_of(L"\\/")) + L"\\..\\launcher.exe";
    std::wstring full(GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr), L'\0');
    DWORD n = GetFullPathNameW(joined.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) throw std::runtime_error("GetFullPathNameW failed");
    full.resize(n);
    return full;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> ReadLauncher() { return ReadBytes(std::filesystem::path(LauncherPath())); }


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
};


// The executable loaded as data, for its resources: nothing of it runs.
struct ResourceModule {
    HMODULE module = nullptr;

    ResourceModule() {
        module = LoadLibraryExW(LauncherPath().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    ~ResourceModule() {
        if (module) FreeLibrary(module);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    Bytes Find(LPCWSTR type, LPCWSTR name, WORD language) const {
        HRSRC found = FindResourceExW(module, type, name, language);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module, found);
        if (!loaded) return {};
        return {static_cast<const uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
    }
};

// A resource type or name as the enumeration APIs hand it out: a number or a string.
struct ResourceId {
    bool numeric = false;
    WORD number = 0;
    std::wstring text;

    explicit ResourceId(LPCWSTR id)
        : numeric(IS_INTRESOURCE(id)),
          number(numeric ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id)) : 0),
          text(numeric ? L"" : id) {}
    LPCWSTR Get() const { return numeric ? MAKEINTRESOURCEW(number) : text.c_str(); }
    std::string Describe() const { return numeric ? "#" + std::to_string(number) : "\"" + Narrow(text) + "\""; }
};

inline std::vector<ResourceId> Types(HMODULE module) {
    std::vector<ResourceId> out;
    EnumResourceTypesW(
        module,
        [](HMODULE, LPWSTR type, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<ResourceId>*>(out)->emplace_back(type);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&out));
    return out;
}

inline std::vector<ResourceId> Names(HMODULE module, LPCWSTR type) {
    std::vector<ResourceId> out;
    EnumResourceNamesW(
        module, type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<ResourceId>*>(out)->emplace_back(name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&out));
    return out;
}

inline std::vector<WORD> Languages(HMODULE module, LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> out;
    EnumResourceLanguagesW(
        module, type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&out));
    return out;
}

}  // namespace built_launcher
