// For any argument that does not begin with a double quote, the standard split of the child's
// command line gives the six fields (five without the trust store) and the argument exactly.
#include "launcher/command_line.h"
#include "launcher/install_layout.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static const wchar_t* const kModulePaths[] = {
    L"C:\\Apps\\Tool\\launcher.exe", L"D:\\launcher.exe", L"\\\\server\\share\\Tool\\launcher.exe",
    L"C:\\Program Files (x86)\\My App\\launcher.exe", L"C:\\Users\\Zażółć\\Дмитрий\\launcher.exe",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const wchar_t* module = kModulePaths[(data[0] >> 2) % (sizeof kModulePaths / sizeof *kModulePaths)];
    Runtime runtime = data[0] & 1 ? Runtime::Local : Runtime::System;
    bool trustStore = data[0] & 2;
    WideBuffer arg = WideFromBytes(data + 1, size - 1);
    WideBuffer line = ChildCommandLine(runtime, trustStore, module, arg.c_str());
    if (arg.c_str()[0] == L'"' || line.failed())   // copied as it is, or too long to start
        return 0;

    WideBuffer fields[6];
    size_t n = 0;
    fields[n++].append(runtime == Runtime::System ? kSystemJavaToken : LocalJavaPath(module).c_str());
    if (trustStore)
        fields[n++].append(L"-Djavax.net.ssl.trustStore=").append(TrustStorePath(module));
    fields[n++].append(L"-DSorvaneInstallPath=").append(InstallDirectory(module));
    fields[n++].append(L"-jar");
    fields[n++].append(InstallDirectory(module)).append(kUpdaterJarName);
    fields[n++].append(arg.c_str());

    CommandLineSplitter split(line.c_str());
    WideBuffer field;
    for (size_t i = 0; i < n; ++i)
        require(split.next(field) && SameText(field, fields[i]), i + 1 < n ? "a fixed field" : "the argument");
    require(!split.next(field), "a field after the forwarded argument");
    return 0;
}
