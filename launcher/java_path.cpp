#include "launcher/java_path.h"

namespace sorvane {

WideBuffer PathForJava(Platform& platform, const wchar_t* path)
{
    if (!platform.readableByJava(path)) {
        WideBuffer shortForm;
        if (platform.shortPath(path, shortForm) && !shortForm.empty() && platform.readableByJava(shortForm.c_str()))
            return shortForm;
    }
    WideBuffer asItIs;
    asItIs.append(path);
    return asItIs;
}

ForwardedArgument ArgumentForJava(Platform& platform, const wchar_t* argument)
{
    ForwardedArgument forwarded;
    if (argument[0] == L'"') {
        forwarded.quoting = Quoting::Raw;
        forwarded.text.append(argument);
    } else if (!platform.readableByJava(argument) && platform.fileExists(argument)) {
        // Only a path that exists has a short form; text is never looked up as one.
        forwarded.text = PathForJava(platform, argument);
    } else {
        forwarded.text.append(argument);
    }
    return forwarded;
}

}  // namespace sorvane
