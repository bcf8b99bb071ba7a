#include "launcher/java_path.h"

namespace sorvane {

static WideBuffer copyOf(const wchar_t* text)
{
    WideBuffer copy;
    copy.append(text);
    return copy;
}

WideBuffer PathForJava(Platform& platform, const wchar_t* path)
{
    if (!platform.readableByJava(path)) {
        WideBuffer shortForm;
        if (platform.shortPath(path, shortForm) && !shortForm.empty() && platform.readableByJava(shortForm.c_str()))
            return shortForm;
    }
    return copyOf(path);
}

WideBuffer ArgumentForJava(Platform& platform, const wchar_t* argument)
{
    // Only a path that exists has a short form; text is never looked up as one.
    if (argument && argument[0] != L'"' && !platform.readableByJava(argument) && platform.fileExists(argument))
        return PathForJava(platform, argument);
    return copyOf(argument);
}

}  // namespace sorvane
