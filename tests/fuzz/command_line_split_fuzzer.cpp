// The launcher's own command line is whatever its starter passed: the split ends, and every
// argument is made of the line's own characters, never more of them than the line has.
#include "launcher/command_line.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WideBuffer line = WideFromBytes(data, size);
    size_t length = WideBuffer::length(line.c_str());
    CommandLineSplitter splitter(line.c_str());
    WideBuffer argument;
    size_t count = 0, characters = 0;
    while (splitter.next(argument)) {
        require(!argument.failed(), "argument buffer failed");
        require(++count <= length, "more arguments than characters");
        for (size_t i = 0; i < argument.size(); ++i)
            require(argument.c_str()[i] != 0, "zero inside an argument");
        characters += argument.size();
        require(characters <= length, "arguments longer than the line");
    }
    require(!splitter.next(argument) && argument.empty(), "split goes on after its end");
    return 0;
}
