// Whatever answers as java can print any bytes: the version found is a bounded, quote-free piece
// of the output, and it is already final wherever the probe may stop reading.
#include <cstring>

#include "launcher/java_version.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* output = reinterpret_cast<const char*>(data);
    ByteBuffer version;
    bool found = FindJavaVersionText(output, size, version);
    size_t n = version.size();
    require(n <= kJavaVersionTextLimit && (found || n == 0), "version text longer than 99 bytes");
    require(std::strlen(version.c_str()) == n && !std::memchr(version.c_str(), '"', n), "quote or 0 in the version");
    require(!n || memmem(output, size, version.c_str(), n), "version text not from the output");
    JavaVersionNumber(version.c_str());

    // Once complete, output stays complete as more arrives: find the shortest complete prefix.
    if (!ProbeOutputComplete(output, size))
        return 0;
    size_t low = 0, high = size;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (ProbeOutputComplete(output, middle))
            high = middle;
        else
            low = middle + 1;
    }
    ByteBuffer early;
    require(FindJavaVersionText(output, low, early) == found && early.size() == n &&
                !std::memcmp(early.c_str(), version.c_str(), n),
            "stopping where the output is complete changes the version");
    return 0;
}
