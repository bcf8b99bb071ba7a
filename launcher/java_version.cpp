#include "launcher/java_version.h"

#include <cstdlib>

namespace sorvane {

static constexpr char kVersionPhrase[] = "version \"";
static constexpr size_t kVersionPhraseLength = sizeof kVersionPhrase - 1;

static size_t textLength(const char* output, size_t length)
{
    size_t n = 0;
    while (n < length && output[n] != 0)
        ++n;
    return n;
}

static const char* findChar(const char* from, const char* end, char c)
{
    for (const char* p = from; p < end; ++p) {
        if (*p == c)
            return p;
    }
    return nullptr;
}

static const char* findPhrase(const char* text, const char* end)
{
    for (const char* p = text; end - p >= static_cast<ptrdiff_t>(kVersionPhraseLength); ++p) {
        size_t i = 0;
        while (i < kVersionPhraseLength && p[i] == kVersionPhrase[i])
            ++i;
        if (i == kVersionPhraseLength)
            return p;
    }
    return nullptr;
}

// True when the text holds a character that is not one of the phrase's own.
static bool hasNonPhraseCharacter(const char* text, const char* end)
{
    for (const char* p = text; p < end; ++p) {
        if (!findChar(kVersionPhrase, kVersionPhrase + kVersionPhraseLength, *p))
            return true;
    }
    return false;
}

bool ProbeOutputComplete(const char* output, size_t length)
{
    size_t n = textLength(output, length);
    if (n < length)
        return true;
    const char* end = output + n;
    const char* phrase = findPhrase(output, end);
    return phrase && findChar(phrase + kVersionPhraseLength, end, '"');
}

bool FindJavaVersionText(const char* output, size_t length, ByteBuffer& version)
{
    version.clear();
    const char* end = output + textLength(output, length);
    const char* open = nullptr;
    if (const char* phrase = findPhrase(output, end)) {
        open = phrase + kVersionPhraseLength - 1;
    } else {
        open = findChar(output, end, '"');
        if (open && !hasNonPhraseCharacter(output, end))
            return false;
    }
    if (!open)
        return false;
    const char* close = findChar(open + 1, end, '"');
    if (!close)
        return false;
    size_t count = static_cast<size_t>(close - open - 1);
    version.append(open + 1, count < kJavaVersionTextLimit ? count : kJavaVersionTextLimit);
    return true;
}

double JavaVersionNumber(const char* versionText)
{
    return std::atof(versionText ? versionText : "");
}

}  // namespace sorvane
