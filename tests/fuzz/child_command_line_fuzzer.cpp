// For any argument that goes over quoted, the standard split of the child's command line gives
// the six fields (five without the trust store) and the argument exactly.
#include "launcher/command_line.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static const wchar_t* const kInstallDirectories[] = {
    L"C:\\Apps\\Tool\\", L"D:\\", L"\\\\server\\share\\Tool\\", L"C:\\Program Files (x86)\\My App\\",
    L"C:\\Users\\Zażółć\\Дмитрий\\", L"C:/dir/", L"C:\\Apps\\Tool",
};

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
    WideBuffer line = ChildCommandLine(runtime, java, trustStore, argument);
    if (line.failed())   // too long to start
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

    CommandLineSplitter split(line.c_str());
    WideBuffer field;
    for (size_t i = 0; i < n; ++i)
        require(split.next(field) && SameText(field, fields[i]), i + 1 < n ? "a fixed field" : "the argument");
    require(!split.next(field), "a field after the forwarded argument");
    return 0;
}
