// Whatever answers as java can print any bytes: the version found is a bounded, quote-free piece
// of the output, and it is already final at the point where the probe stops reading.
#include <cstring>

#include "launcher/java_version.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* output = reinterpret_cast<const char*>(data);
    ByteBuffer version;
    bool found = FindJavaVersionText(output, size, version);
    require(found || version.empty(), "no version but text left behind");
    require(version.size() <= kJavaVersionTextLimit, "version text longer than 99 bytes");
    require(!std::memchr(version.c_str(), '"', version.size()), "quote inside the version text");
    require(version.size() == std::strlen(version.c_str()), "zero byte inside the version text");
    require(!found || memmem(output, size, version.c_str(), version.size()), "version not from the output");
    JavaVersionNumber(version.c_str());

    // Completeness only grows as output arrives; the shortest complete prefix is where the probe
    // may stop, and the version found there must be the one the whole output gives.
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
    require(FindJavaVersionText(output, low, early) == found, "stopping early changes whether a version is found");
    require(early.size() == version.size() && !std::memcmp(early.c_str(), version.c_str(), version.size()),
            "stopping early changes the version text");
    return 0;
}
