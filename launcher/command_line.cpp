#include "launcher/command_line.h"

namespace sorvane {

void appendQuotedText(WideBuffer& out, const wchar_t* value)
{
    size_t backslashes = 0;
    for (const wchar_t* p = value; *p; ++p) {
        if (*p == L'\\') {
            ++backslashes;
            continue;
        }
        out.appendRepeated(L'\\', *p == L'"' ? backslashes * 2 + 1 : backslashes);
        backslashes = 0;
        out.append(*p);
    }
    out.appendRepeated(L'\\', backslashes * 2);
}

void appendField(WideBuffer& line, const wchar_t* name, const wchar_t* value, Quoting quoting)
{
    if (!line.empty())
        line.append(L' ');
    line.append(name);
    if (!value)
        return;
    if (quoting == Quoting::Raw) {
        line.append(value);
        return;
    }
    line.append(L'"');
    appendQuotedText(line, value);
    line.append(L'"');
}

void ReplaceLookAlikes(WideBuffer& text, LookAlikeTest lookAlike)
{
    // ASCII is the same in every ANSI code page, so only other characters are asked about.
    wchar_t* c = text.data();
    for (size_t i = 0; lookAlike && i < text.size(); ++i) {
        if (c[i] >= 0x80 && lookAlike(c[i]))
            c[i] = L'?';
    }
}

WideBuffer ChildCommandLine(Runtime runtime, const InstallLayout& java, bool trustStoreExists,
                            const ForwardedArgument& argument, LookAlikeTest lookAlike, TextSpan* archive)
{
    // The program token takes the same quoting: a javaw.exe path holds no quote and does not end
    // in a backslash, so it gains only the quotes, which is all the split of argument 0 reads.
    WideBuffer line;
    appendField(line, L"", runtime == Runtime::System ? kSystemJavaToken : java.localJavaPath.c_str());
    if (trustStoreExists)
        appendField(line, L"-Djavax.net.ssl.trustStore=", java.trustStorePath.c_str());
    appendField(line, L"-DSorvaneInstallPath=", java.installDirectory.c_str());
    appendField(line, L"-jar", nullptr);
    TextSpan jar{line.size() + 1, 0};
    appendField(line, L"", java.updaterJarPath.c_str());
    jar.end = line.size() + 1;
    if (archive)
        *archive = jar;
    appendField(line, L"", argument.text.c_str(), argument.quoting);
    ReplaceLookAlikes(line, lookAlike);
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
