#include "launcher/command_line.h"

#include "launcher/install_layout.h"

namespace sorvane {

void appendQuotedArgument(WideBuffer& out, const wchar_t* arg)
{
    out.append(L'"');
    size_t backslashes = 0;
    for (const wchar_t* p = arg; p && *p; ++p) {
        if (*p == L'\\') {
            ++backslashes;
            continue;
        }
        if (*p == L'"')
            out.appendRepeated(L'\\', backslashes * 2 + 1);
        else
            out.appendRepeated(L'\\', backslashes);
        backslashes = 0;
        out.append(*p);
    }
    out.appendRepeated(L'\\', backslashes * 2);
    out.append(L'"');
}

void appendForwardedArgument(WideBuffer& out, const wchar_t* arg)
{
    if (arg && arg[0] == L'"')
        out.append(arg);
    else
        appendQuotedArgument(out, arg);
}

WideBuffer ChildCommandLine(Runtime runtime, bool trustStoreExists, const wchar_t* modulePath,
                            const wchar_t* argument1)
{
    // Each segment after the program token opens with the quote that closes the value before it.
    WideBuffer line;
    line.append(L'"');
    if (runtime == Runtime::System)
        line.append(kSystemJavaToken);
    else
        line.append(LocalJavaPath(modulePath));
    if (trustStoreExists) {
        line.append(L"\" -Djavax.net.ssl.trustStore=\"");
        line.append(TrustStorePath(modulePath));
    }
    line.append(L"\" -DSorvaneInstallPath=\"");
    line.append(InstallPathArgument(modulePath));
    line.append(L"\" -jar ");
    line.append(UpdaterJarArgument(modulePath));
    appendForwardedArgument(line, argument1);

    if (line.size() > kMaxCommandLineLength)
        line.fail();
    return line;
}

static bool isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool CommandLineSplitter::next(WideBuffer& argument)
{
    argument.clear();
    const wchar_t* s = cursor_;
    if (first_) {
        first_ = false;
        if (*s == 0)
            return false;
        if (*s == L'"') {
            ++s;
            while (*s && *s != L'"')
                argument.append(*s++);
            if (*s == L'"')
                ++s;
        } else {
            while (*s && !isBlank(*s))
                argument.append(*s++);
        }
        while (isBlank(*s))
            ++s;
        cursor_ = s;
        return true;
    }
    if (*s == 0)
        return false;

    // quotes counts the quotes seen in the current quoted stretch: a third one in a row is a
    // literal quote, exactly as CommandLineToArgvW does it.
    size_t backslashes = 0;
    int quotes = 0;
    while (*s) {
        if (isBlank(*s) && quotes == 0)
            break;
        if (*s == L'\\') {
            argument.append(*s++);
            ++backslashes;
            continue;
        }
        if (*s == L'"') {
            argument.truncate(argument.size() - backslashes / 2);
            if (backslashes % 2 == 0) {
                ++quotes;
            } else {
                argument.truncate(argument.size() - 1);
                argument.append(L'"');
            }
            ++s;
            backslashes = 0;
            while (*s == L'"') {
                if (++quotes == 3) {
                    argument.append(L'"');
                    quotes = 0;
                }
                ++s;
            }
            if (quotes == 2)
                quotes = 0;
            continue;
        }
        argument.append(*s++);
        backslashes = 0;
    }
    while (isBlank(*s))
        ++s;
    cursor_ = s;
    return true;
}

}  // namespace sorvane
