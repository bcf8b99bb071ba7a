#include "launcher/install_layout.h"

#include <cstddef>

namespace sorvane {

WideBuffer InstallDirectory(const wchar_t* modulePath)
{
    // The directory part ends at the last separator; a bare "X:name" keeps its drive.
    size_t length = WideBuffer::length(modulePath);
    size_t end = 0;
    for (size_t i = 0; i < length; ++i) {
        if (modulePath[i] == L'\\' || modulePath[i] == L'/')
            end = i + 1;
    }
    if (end == 0 && length >= 2 && modulePath[1] == L':')
        end = 2;
    WideBuffer directory;
    directory.append(modulePath, end);
    return directory;
}

static WideBuffer InstallRelativePath(const wchar_t* modulePath, const wchar_t* relative)
{
    WideBuffer path = InstallDirectory(modulePath);
    path.append(relative);
    return path;
}

WideBuffer LocalJavaPath(const wchar_t* modulePath)
{
    return InstallRelativePath(modulePath, kLocalJavaRelativePath);
}

WideBuffer TrustStorePath(const wchar_t* modulePath)
{
    return InstallRelativePath(modulePath, kTrustStoreRelativePath);
}

WideBuffer InstallPathArgument(const wchar_t* modulePath)
{
    return InstallRelativePath(modulePath, L"\\");
}

WideBuffer UpdaterJarArgument(const wchar_t* modulePath)
{
    WideBuffer argument;
    argument.append(L'"');
    argument.append(InstallDirectory(modulePath));
    argument.append(kUpdaterJarName);
    argument.append(L"\" ");
    return argument;
}

WideBuffer JavawBesideJava(const wchar_t* javaPath)
{
    WideBuffer path = InstallDirectory(javaPath);
    path.append(kJavawName);
    return path;
}

}  // namespace sorvane
