// For any argument that goes over quoted, the child's command line, read as a Java that converts
// it with best fit reads it, splits into the six fields (five without the trust store) and the
// argument exactly, each look-alike in them as '?'.
#include "launcher/command_line.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static const wchar_t* const kInstallDirectories[] = {
    L"C:\\Apps\\Tool\\", L"D:\\", L"\\\\server\\share\\Tool\\", L"C:\\Program Files (x86)\\My App\\",
    L"C:\\Users\\Zażółć\\Дмитрий\\", L"C:/dir/", L"C:\\Apps\\Tool", L"C:\\Apps＂ Tool\u3000＼\\",
};

// A small model of code page 1252's best fit: what an older Java reads for a look-alike.
static wchar_t bestFit(wchar_t c)
{
    if (c == L'＂' || c == L'ʺ')
        return L'"';
    if (c == L'＼')
        return L'\\';
    return c == L'\u3000' || (c >= 0x2000 && c <= 0x2006) ? L' ' : c;
}

static bool isLookAlike(wchar_t c)
{
    return bestFit(c) != c;
}

static WideBuffer handedOver(const WideBuffer& text, bool javaReadsIt)
{
    WideBuffer result;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text.c_str()[i];
        result.append(javaReadsIt ? bestFit(c) : isLookAlike(c) ? L'?' : c);
    }
    return result;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const InstallLayout java =
        LayoutIn(kInstallDirectories[(data[0] >> 2) % (sizeof kInstallDirectories / sizeof *kInstallDirectories)]);
    Runtime runtime = data[0] & 1 ? Runtime::Local : Runtime::System;
    bool trustStore = data[0] & 2;
    ForwardedArgument argument;
    argument.text = WideFromBytes(data + 1, size - 1);
    WideBuffer line = ChildCommandLine(runtime, java, trustStore, argument, isLookAlike);
    if (line.size() > kMaxCommandLineLength)   // too long to start
        return 0;

    WideBuffer fields[6];
    size_t n = 0;
    fields[n++].append(runtime == Runtime::System ? kSystemJavaToken : java.localJavaPath.c_str());
    if (trustStore)
        fields[n++].append(L"-Djavax.net.ssl.trustStore=").append(java.trustStorePath);
    fields[n++].append(L"-DSorvaneInstallPath=").append(java.installDirectory);
    fields[n++].append(L"-jar");
    fields[n++].append(java.updaterJarPath);
    fields[n++].append(argument.text.c_str());

    WideBuffer asJavaReadsIt = handedOver(line, true);
    CommandLineSplitter split(asJavaReadsIt.c_str());
    WideBuffer field;
    for (size_t i = 0; i < n; ++i)
        require(split.next(field) && SameText(field, handedOver(fields[i], false)), i + 1 < n ? "a fixed field" : "the argument");
    require(!split.next(field), "a field after the forwarded argument");
    return 0;
}
