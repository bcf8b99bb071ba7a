// The launcher's own command line is whatever its starter passed: the split ends, and its
// arguments are made of the line's characters, never more of them than the line has.
#include "launcher/command_line.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WideBuffer line = WideFromBytes(data, size);
    size_t length = WideBuffer::length(line.c_str()), count = 0, characters = 0;
    CommandLineSplitter split(line.c_str());
    WideBuffer argument;
    while (split.next(argument)) {
        require(WideBuffer::length(argument.c_str()) == argument.size(), "zero inside an argument");
        characters += argument.size();
        require(++count <= length && characters <= length, "arguments longer than the line");
    }
    require(!split.next(argument) && argument.empty(), "the split goes on after its end");
    return 0;
}
