// The command line the Java child is started with, and the split of the launcher's own one.
#pragma once

#include <cstddef>

#include "launcher/buffer.h"
#include "launcher/install_layout.h"

namespace sorvane {

enum class Runtime { System, Local };

// CreateProcessW takes at most 32,767 characters, terminator included.
inline constexpr size_t kMaxCommandLineLength = 32766;

// The program token for the machine's own runtime. The trailing space inside the quotes is what
// the updater has always been started with; CreateProcessW still finds javaw.exe through it.
inline constexpr wchar_t kSystemJavaToken[] = L"javaw.exe ";

enum class Quoting {
    Quoted,   // in double quotes, so that the child's standard split gives the value back exactly
    Raw,      // as it is: only a forwarded argument that already begins with a double quote
};

// Whether c is a look-alike: a character that the active ANSI code page lacks and whose best fit
// there is a character the standard split acts on (a double quote, a backslash, a space or a
// tab). A Java launcher before JDK 17.0.17, 21.0.8 and 24 reads its command line converted with
// best fit (GetCommandLineA), so a look-alike would reach it as that character and move the
// boundaries of its arguments. Null: there are none (UTF-8 as the system code page).
using LookAlikeTest = bool (*)(wchar_t c);

// The forwarded argument and how it goes over, decided once where it is prepared: callers who
// hand over text that begins with a double quote have always had it copied as it is.
struct ForwardedArgument {
    WideBuffer text;
    Quoting quoting = Quoting::Quoted;
};

// The one appender of the child's command line. Appends a space unless line is empty, then name
// as it is ("-jar", "-Dkey=", or nothing), then value unless it is null. Each look-alike in value
// goes over as '?', as a mended Java (JDK-8337506) reads it, so that old and new Javas split the
// line alike. A quoted value is then put in double quotes so that the standard split
// (CommandLineToArgvW, the C runtime, a Java launcher) gives it back exactly: a double quote
// becomes \", and a run of backslashes is doubled where it precedes a double quote or the closing
// quote; other backslashes stay as they are. So the install directory C:\Apps\Tool\ is written
// "C:\Apps\Tool\\".
void appendField(WideBuffer& line, const wchar_t* name, const wchar_t* value, Quoting quoting = Quoting::Quoted,
                 LookAlikeTest lookAlike = nullptr);

// The child command line, its fields joined by appendField:
//   "<runtime>" [-Djavax.net.ssl.trustStore="<trust store>"] -DSorvaneInstallPath="<install>\\"
//   -jar "<install>\getdown-launcher-1.8.6.jar" <argument 1>
// with every path taken from java, the layout as Java reads it. Empty (with failed() set) when
// the text would be longer than CreateProcessW accepts.
WideBuffer ChildCommandLine(Runtime runtime, const InstallLayout& java, bool trustStoreExists,
                            const ForwardedArgument& argument, LookAlikeTest lookAlike);

// A path as the child's command line writes it between its quotes: what the launcher echoes of
// each path it hands over.
WideBuffer WrittenPath(const wchar_t* path, LookAlikeTest lookAlike);

// Splits a command line by the rules of CommandLineToArgvW, one argument per next() call.
// Argument 0 (the program) ends at the next quote when it begins with one, else at white
// space, with no escapes; later arguments follow the backslash and quote rules. Unlike
// CommandLineToArgvW, an empty command line yields no arguments at all.
class CommandLineSplitter {
public:
    explicit CommandLineSplitter(const wchar_t* commandLine) : cursor_(commandLine ? commandLine : L"") {}
    bool next(WideBuffer& argument);

private:
    const wchar_t* cursor_;
    bool first_ = true;
};

}  // namespace sorvane
