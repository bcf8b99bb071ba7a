// PATH and the module path come from outside: the PATH reading yields only pieces of the value
// between separators, and each install-layout path is the module's directory and a fixed name.
#include "launcher/install_layout.h"
#include "launcher/search_path.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static void requireDirectoryAnd(const WideBuffer& path, const WideBuffer& directory, const wchar_t* name)
{
    WideBuffer expected;
    expected.append(directory).append(name);
    require(SameText(path, expected), "a layout path is not the install directory and its name");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WideBuffer text = WideFromBytes(data, size);
    const wchar_t* value = text.c_str();
    size_t length = WideBuffer::length(value), entryLength = 0;
    SearchPathEntries entries(value);
    for (const wchar_t* entry = nullptr; entries.next(entry, entryLength);) {
        require(entry >= value && entryLength > 0 && entry + entryLength <= value + length, "entry outside PATH");
        for (size_t i = 0; i < entryLength; ++i)
            require(entry[i] != L';', "separator inside an entry");
        IsFullyQualifiedPath(entry, entryLength);
    }

    WideBuffer directory = InstallDirectory(value);
    size_t n = directory.size();
    wchar_t last = n ? directory.c_str()[n - 1] : 0;
    require(n <= length && SameText(directory.c_str(), value, n), "install directory not from the module path");
    require(!n || last == L'\\' || last == L'/' || (n == 2 && last == L':'), "install directory ends in a name");
    requireDirectoryAnd(LocalJavaPath(value), directory, kLocalJavaRelativePath);
    requireDirectoryAnd(TrustStorePath(value), directory, kTrustStoreRelativePath);
    requireDirectoryAnd(InstallPathArgument(value), directory, L"\\");
    requireDirectoryAnd(JavawBesideJava(value), directory, kJavawName);
    WideBuffer jar;
    jar.append(L'"').append(directory).append(kUpdaterJarName).append(L"\" ");
    require(SameText(UpdaterJarArgument(value), jar), "updater archive argument");
    return 0;
}
