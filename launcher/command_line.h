// The command line the Java child is started with, and the split of the launcher's own one.
#pragma once

#include <cstddef>

#include "launcher/buffer.h"

namespace sorvane {

enum class Runtime { System, Local };

// CreateProcessW takes at most 32,767 characters, terminator included.
inline constexpr size_t kMaxCommandLineLength = 32766;

// The program token for the machine's own runtime. The trailing space inside the quotes is what
// the updater has always been started with; CreateProcessW still finds javaw.exe through it.
inline constexpr wchar_t kSystemJavaToken[] = L"javaw.exe ";

// Appends arg in double quotes so that the standard split (CommandLineToArgvW, the C runtime)
// gives it back exactly: a double quote becomes \", and a run of backslashes is doubled where
// it precedes a double quote or the closing quote; other backslashes stay as they are.
void appendQuotedArgument(WideBuffer& out, const wchar_t* arg);

// The forwarded argument: copied unchanged when it already begins with a double quote (callers
// hand over pre-quoted text that way), otherwise quoted as above.
void appendForwardedArgument(WideBuffer& out, const wchar_t* arg);

// The whole child command line:
//   "<runtime>" [-Djavax.net.ssl.trustStore="<trust store>"] -DSorvaneInstallPath="<install>\\"
//   -jar "<install>\getdown-launcher-1.8.6.jar" <argument 1>
// Empty (with failed() set) when the text would be longer than CreateProcessW accepts.
WideBuffer ChildCommandLine(Runtime runtime, bool trustStoreExists, const wchar_t* modulePath,
                            const wchar_t* argument1);

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
