// The form in which a path reaches a Java runtime.
//
// A Java launcher (java.exe, javaw.exe) reads its command line with GetCommandLineA and finds its
// own runtime files from its module path in the active ANSI code page; a character that code page
// lacks arrives as '?', and the path names nothing; with UTF-8 as that code page, an older Java
// garbles every character outside ASCII. Such a path is handed over in its short (8.3) form, which
// is plain ASCII and names the same file. Every other path goes over as it is.
#pragma once

#include "launcher/buffer.h"
#include "launcher/command_line.h"
#include "launcher/platform.h"

namespace sorvane {

// path itself when Java can read it; otherwise its short form when that one is readable;
// otherwise path itself, since nothing better exists (8.3 names may be turned off on the volume).
WideBuffer PathForJava(Platform& platform, const wchar_t* path);

// The forwarded argument as it goes over. One that begins with a double quote is copied as it
// is. Any other is quoted, and is the short form, by the rule above, only when it is not readable
// by Java and names an existing file or directory; plain text and a path that does not exist are
// left as they are.
ForwardedArgument ArgumentForJava(Platform& platform, const wchar_t* argument);

}  // namespace sorvane
