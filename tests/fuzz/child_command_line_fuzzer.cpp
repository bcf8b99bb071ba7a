// The forwarded argument reaches the updater exactly: for any argument that does not begin with a
// double quote, the standard split of the child's command line gives the six fields (five without
// the trust store) and the argument back unchanged.
#include "launcher/command_line.h"
#include "launcher/install_layout.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sorvane;

static const wchar_t* const kModulePaths[] = {
    L"C:\\Apps\\Tool\\launcher.exe",
    L"D:\\launcher.exe",
    L"\\\\server\\share\\Tool\\launcher.exe",
    L"C:\\Program Files (x86)\\My App\\launcher.exe",
    L"C:\\Users\\Zażółć\\Дмитрий\\app\\launcher.exe",
};

static void expectField(CommandLineSplitter& split, WideBuffer& field, const WideBuffer& expected, const char* what)
{
    require(split.next(field), what);
    require(SameText(field.c_str(), field.size(), expected.c_str(), expected.size()), what);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const wchar_t* module = kModulePaths[(data[0] >> 2) % (sizeof kModulePaths / sizeof kModulePaths[0])];
    Runtime runtime = data[0] & 1 ? Runtime::Local : Runtime::System;
    bool trustStore = data[0] & 2;
    WideBuffer argument = WideFromBytes(data + 1, size - 1);
    const wchar_t* arg = argument.c_str();
    if (arg[0] == L'"')
        return 0;
    WideBuffer line = ChildCommandLine(runtime, trustStore, module, arg);
    if (line.failed())
        return 0;   // too long for CreateProcessW: never started

    WideBuffer directory = InstallDirectory(module), expected;
    CommandLineSplitter split(line.c_str());
    WideBuffer field;
    expected.append(runtime == Runtime::System ? kSystemJavaToken : LocalJavaPath(module).c_str());
    expectField(split, field, expected, "program field");
    if (trustStore) {
        expected.clear();
        expected.append(L"-Djavax.net.ssl.trustStore=").append(TrustStorePath(module));
        expectField(split, field, expected, "trust store field");
    }
    expected.clear();
    expected.append(L"-DSorvaneInstallPath=").append(directory);
    expectField(split, field, expected, "install path field");
    expected.clear();
    expected.append(L"-jar");
    expectField(split, field, expected, "-jar field");
    expected.clear();
    expected.append(directory).append(kUpdaterJarName);
    expectField(split, field, expected, "updater archive field");
    expected.clear();
    expected.append(arg);
    expectField(split, field, expected, "forwarded argument");
    require(!split.next(field), "a field after the forwarded argument");
    return 0;
}
