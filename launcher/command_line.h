// The command line the Java child is started with, and the split of the launcher's own one.
#pragma once

#include <cstddef>

#include "launcher/buffer.h"
#include "launcher/install_layout.h"
#include "launcher/platform.h"

namespace sorvane {

enum class Runtime { System, Local };

// CreateProcessW takes at most 32,767 characters, terminator included.
inline constexpr size_t kMaxCommandLineLength = 32766;

// The program token for the machine's own runtime. The trailing space inside the quotes is what
// the updater has always been started with; CreateProcessW still finds javaw.exe through it.
inline constexpr wchar_t kSystemJavaToken[] = SORVANE_JAVAW L" ";

enum class Quoting {
    Quoted,   // in double quotes, so that the child's standard split gives the value back exactly
    Raw,      // as it is: only a forwarded argument that already begins with a double quote
};

// The forwarded argument and how it goes over, decided once where it is prepared: callers who
// hand over text that begins with a double quote have always had it copied as it is.
struct ForwardedArgument {
    WideBuffer text;
    Quoting quoting = Quoting::Quoted;
};

// value as it stands between the double quotes of a quoted field, so that the standard split
// (CommandLineToArgvW, the C runtime, a Java launcher) gives it back exactly: a double quote
// becomes \", and a run of backslashes is doubled where a double quote or the closing quote
// follows it; other backslashes stay as they are. So the install directory C:\Apps\Tool\ is
// written C:\Apps\Tool\\. The launcher echoes each path it hands over in this form.
void appendQuotedText(WideBuffer& out, const wchar_t* value);

// The one appender of the child's command line, shaped like Rust's append_arg. Appends a space
// unless line is empty, then name as it is ("-jar", "-Dkey=", or nothing), then value unless it
// is null: in double quotes around appendQuotedText, or as it is when Raw.
void appendField(WideBuffer& line, const wchar_t* name, const wchar_t* value, Quoting quoting = Quoting::Quoted);

// Each look-alike in text becomes '?', as a mended Java (JDK-8337506) reads it, so that old and
// new Javas split the line alike. One pass over finished text is enough: a look-alike is never a
// quote or a backslash, and '?' means nothing to the split, so the quoting around it is the same.
void ReplaceLookAlikes(WideBuffer& text, LookAlikeTest lookAlike);

// A stretch of a text: [begin, end).
struct TextSpan {
    size_t begin = 0;
    size_t end = 0;
};

// The child command line, its fields joined by appendField and its look-alikes replaced:
//   "<runtime>" [-Djavax.net.ssl.trustStore="<trust store>"] -DSorvaneInstallPath="<install>\\"
//   -jar "<install>\getdown-launcher-1.8.6.jar" <argument 1>
// with every path taken from java, the layout as Java reads it. archive, if given, receives where
// the archive's field stands, its quotes and the space after it included: what the launcher
// echoes of the archive. Whether the line is short enough for CreateProcessW
// (kMaxCommandLineLength) is the caller's to check.
WideBuffer ChildCommandLine(Runtime runtime, const InstallLayout& java, bool trustStoreExists,
                            const ForwardedArgument& argument, LookAlikeTest lookAlike, TextSpan* archive = nullptr);

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
