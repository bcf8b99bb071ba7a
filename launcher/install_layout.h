// Where the launcher finds what it starts: everything lies in the directory that holds
// launcher.exe, the install directory.
#pragma once

#include "launcher/buffer.h"

namespace sorvane {

// The names of the two Java programs, as string literals, so that every text that holds one is
// made from it.
#define SORVANE_JAVA L"java.exe"
#define SORVANE_JAVAW L"javaw.exe"
inline constexpr wchar_t kJavaName[] = SORVANE_JAVA;
inline constexpr wchar_t kJavawName[] = SORVANE_JAVAW;

inline constexpr wchar_t kLocalJavaRelativePath[] = L"jre\\bin\\" SORVANE_JAVAW;
inline constexpr wchar_t kTrustStoreRelativePath[] = L"security\\cacerts";
inline constexpr wchar_t kUpdaterJarName[] = L"getdown-launcher-1.8.6.jar";

// Drive and directory of a file's path, ending in its separator: C:\Apps\Tool\ for
// C:\Apps\Tool\launcher.exe, \\server\share\Tool\ on a share, D:\ in a drive root. The install
// directory is this of the module path; the program search takes it of java.exe too.
WideBuffer DirectoryOf(const wchar_t* path);

// The install layout, built from one directory: the launcher builds it once as the directory is
// on disk, for its own checks, and once as Java reads it, for what the child is handed.
struct InstallLayout {
    WideBuffer installDirectory;   // ends in its separator; also the value of -DSorvaneInstallPath
    WideBuffer localJavaPath;      // <install>\jre\bin\javaw.exe
    WideBuffer trustStorePath;     // <install>\security\cacerts
    WideBuffer updaterJarPath;     // <install>\getdown-launcher-1.8.6.jar
};

// installDirectory ends in its separator, as DirectoryOf gives it.
InstallLayout LayoutIn(const wchar_t* installDirectory);

}  // namespace sorvane
