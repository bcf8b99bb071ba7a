#include "launcher/install_layout.h"

#include <cstddef>

namespace sorvane {

static bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

WideBuffer DirectoryOf(const wchar_t* path)
{
    // The directory part ends at the last separator; a bare "X:name" keeps its drive.
    size_t length = WideBuffer::length(path);
    size_t end = 0;
    for (size_t i = 0; i < length; ++i) {
        if (isSeparator(path[i]))
            end = i + 1;
    }
    if (end == 0 && length >= 2 && path[1] == L':')
        end = 2;
    WideBuffer directory;
    directory.append(path, end);
    return directory;
}

static WideBuffer pathIn(const WideBuffer& directory, const wchar_t* relative)
{
    WideBuffer path;
    path.append(directory).append(relative);
    return path;
}

InstallLayout LayoutIn(const wchar_t* installDirectory)
{
    InstallLayout layout;
    WideBuffer& directory = layout.installDirectory;
    directory.append(installDirectory);
    layout.localJavaPath = pathIn(directory, kLocalJavaRelativePath);
    layout.trustStorePath = pathIn(directory, kTrustStoreRelativePath);
    layout.updaterJarPath = pathIn(directory, kUpdaterJarName);
    return layout;
}

}  // namespace sorvane
