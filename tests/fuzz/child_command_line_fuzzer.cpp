// For any argument that goes over quoted, the child's command line, read as a Java that converts
// it with best fit reads it, splits into the fixed fields (five, four without the trust store) and
// then the argument exactly, each look-alike in it as '?'.
#include "launcher/command_line.h"
#include "tests/best_fit_1252.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static const wchar_t* const kInstallDirectories[] = {
    L"C:\\Apps\\Tool\\", L"D:\\", L"\\\\server\\share\\Tool\\", L"C:\\Program Files (x86)\\My App\\",
    L"C:\\Users\\Zażółć\\Дмитрий\\", L"C:/dir/", L"C:\\Apps＂ Tool\u3000＼\\",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const InstallLayout java =
        LayoutIn(kInstallDirectories[(data[0] >> 2) % (sizeof kInstallDirectories / sizeof *kInstallDirectories)]);
    const bool trustStore = data[0] & 2;
    ForwardedArgument argument;
    argument.text = WideFromBytes(data + 1, size - 1);
    WideBuffer line = ChildCommandLine(data[0] & 1 ? Runtime::Local : Runtime::System, java, trustStore, argument,
                                       IsLookAlike1252);
    if (line.size() > kMaxCommandLineLength)   // too long to start
        return 0;

    WideBuffer asJavaReadsIt;
    WideBuffer meant;
    for (size_t i = 0; i < line.size(); ++i)
        asJavaReadsIt.append(BestFit1252(line.c_str()[i]));
    // The launcher hands over the text up to its first zero, as it gets it from its command line.
    for (const wchar_t* c = argument.text.c_str(); *c; ++c)
        meant.append(IsLookAlike1252(*c) ? L'?' : *c);
    CommandLineSplitter split(asJavaReadsIt.c_str());
    WideBuffer field;
    for (int i = trustStore ? 5 : 4; i > 0; --i)
        require(split.next(field), "a fixed field missing");
    require(split.next(field) && SameText(field, meant), "the argument");
    require(!split.next(field), "a field after the forwarded argument");
    return 0;
}
