#include "launcher/java_path.h"

#include "launcher/install_layout.h"

namespace sorvane {

static bool readableShortForm(Platform& platform, const wchar_t* path, WideBuffer& shortForm)
{
    return platform.shortPath(path, shortForm) && !shortForm.failed() && !shortForm.empty() &&
           platform.readableByJava(shortForm.c_str());
}

static WideBuffer copyOf(const wchar_t* text)
{
    WideBuffer copy;
    copy.append(text);
    return copy;
}

WideBuffer PathForJava(Platform& platform, const wchar_t* path)
{
    WideBuffer shortForm;
    if (!platform.readableByJava(path) && readableShortForm(platform, path, shortForm))
        return shortForm;
    return copyOf(path);
}

WideBuffer ArgumentForJava(Platform& platform, const wchar_t* argument)
{
    WideBuffer shortForm;
    if (argument && argument[0] != L'"' && !platform.readableByJava(argument) && platform.fileExists(argument) &&
        readableShortForm(platform, argument, shortForm))
        return shortForm;
    return copyOf(argument);
}

static bool endsInSeparator(const WideBuffer& path)
{
    wchar_t last = path.empty() ? 0 : path.c_str()[path.size() - 1];
    return last == L'\\' || last == L'/';
}

WideBuffer InstallDirectoryForJava(Platform& platform, const wchar_t* modulePath)
{
    WideBuffer directory = InstallDirectory(modulePath);
    WideBuffer form = PathForJava(platform, directory.c_str());
    if (endsInSeparator(directory) && !endsInSeparator(form))
        form.append(L'\\');
    return form;
}

}  // namespace sorvane
