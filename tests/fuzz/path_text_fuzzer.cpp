// PATH and the module path come from outside: the PATH reading yields only pieces of the value
// between separators, and every install-layout path is the module's directory plus a fixed name.
#include "launcher/install_layout.h"
#include "launcher/search_path.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static void requireDirectoryPlus(const WideBuffer& path, const WideBuffer& directory, const wchar_t* name,
                                 const char* what)
{
    size_t nameLength = WideBuffer::length(name);
    require(path.size() == directory.size() + nameLength, what);
    require(SameText(path.c_str(), directory.size(), directory.c_str(), directory.size()), what);
    require(SameText(path.c_str() + directory.size(), nameLength, name, nameLength), what);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WideBuffer text = WideFromBytes(data, size);
    const wchar_t* value = text.c_str();
    size_t length = WideBuffer::length(value);

    SearchPathEntries entries(value);
    const wchar_t* begin = nullptr;
    size_t entryLength = 0, count = 0;
    while (entries.next(begin, entryLength)) {
        require(begin >= value && entryLength > 0 && begin + entryLength <= value + length, "entry outside PATH");
        require(*begin != L' ' || (begin > value && begin[-1] == L'"'), "entry keeps a leading space");
        for (size_t i = 0; i < entryLength; ++i)
            require(begin[i] != L';', "separator inside an entry");
        require(++count <= length, "more entries than characters");
        IsFullyQualifiedPath(begin, entryLength);
    }

    WideBuffer directory = InstallDirectory(value);
    require(directory.size() <= length && SameText(directory.c_str(), directory.size(), value, directory.size()),
            "install directory is not a prefix of the module path");
    wchar_t last = directory.empty() ? 0 : directory.c_str()[directory.size() - 1];
    require(directory.empty() || last == L'\\' || last == L'/' || (directory.size() == 2 && last == L':'),
            "install directory does not end in a separator or a drive");
    requireDirectoryPlus(LocalJavaPath(value), directory, kLocalJavaRelativePath, "bundled runtime path");
    requireDirectoryPlus(TrustStorePath(value), directory, kTrustStoreRelativePath, "trust store path");
    requireDirectoryPlus(InstallPathArgument(value), directory, L"\\", "install path argument");
    requireDirectoryPlus(JavawBesideJava(value), directory, kJavawName, "javaw beside java");
    WideBuffer jar = UpdaterJarArgument(value);
    require(jar.size() == directory.size() + WideBuffer::length(kUpdaterJarName) + 3 && jar.c_str()[0] == L'"',
            "updater archive argument");
    return 0;
}
