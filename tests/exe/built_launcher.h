// The built launcher.exe, as the tests that read it back find and load it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace built_launcher {

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

}  // namespace built_launcher
