// Where the launcher finds what it starts: everything is relative to the directory that holds
// launcher.exe. Each builder derives that directory afresh from the module path it is given; a
// directory path that ends in its separator stands for itself, so it may be given instead.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

inline constexpr wchar_t kLocalJavaRelativePath[] = L"jre\\bin\\javaw.exe";
inline constexpr wchar_t kTrustStoreRelativePath[] = L"security\\cacerts";
inline constexpr wchar_t kUpdaterJarName[] = L"getdown-launcher-1.8.6.jar";

// Drive and directory of modulePath, ending in a backslash: C:\Apps\Tool\ for
// C:\Apps\Tool\launcher.exe, \\server\share\Tool\ on a share, D:\ in a drive root.
WideBuffer InstallDirectory(const wchar_t* modulePath);

// <install>\jre\bin\javaw.exe
WideBuffer LocalJavaPath(const wchar_t* modulePath);

// <install>\security\cacerts
WideBuffer TrustStorePath(const wchar_t* modulePath);

// <install> plus one more backslash, so that the quoted property value ends in two of them:
// the standard command-line split turns \\" into one backslash and the closing quote.
WideBuffer InstallPathArgument(const wchar_t* modulePath);

// "<install>\getdown-launcher-1.8.6.jar" followed by a space.
WideBuffer UpdaterJarArgument(const wchar_t* modulePath);

inline constexpr wchar_t kJavawName[] = L"javaw.exe";

// javaw.exe in the directory of javaPath, the java.exe that answered the probe.
WideBuffer JavawBesideJava(const wchar_t* javaPath);

}  // namespace sorvane
