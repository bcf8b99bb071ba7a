// PATH and the module path come from outside: the PATH reading yields only pieces of the value
// between separators, the directory of a path is a prefix of it, and no text breaks the layout.
#include "launcher/install_layout.h"
#include "launcher/search_path.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

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

    WideBuffer directory = DirectoryOf(value);
    size_t n = directory.size();
    wchar_t last = n ? directory.c_str()[n - 1] : 0;
    require(n <= length && SameText(directory.c_str(), value, n), "directory not from the path");
    require(!n || last == L'\\' || last == L'/' || (n == 2 && last == L':'), "directory ends in a name");

    LayoutIn(value);
    return 0;
}
