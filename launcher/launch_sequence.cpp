// The launch sequence, in its fixed order:
//   1. log the start;
//   2. split the command line; without an argument to forward, end here; refuse an install
//      directory that is not fully qualified;
//   3. run "java -version" and log the version found;
//   4. choose the machine's runtime or the bundled one, and log the choice;
//   5. for the bundled runtime, check that its javaw.exe exists; if not, log, show the box, end;
//   6. build the child command line, start the child, wait for it, log "Sorvane Launcher started".
// The machine's runtime is chosen only when it is 1.7 or later and has a javaw.exe beside the
// java.exe that answered; that javaw.exe is the one started.
// Every path handed to a Java runtime, on its command line or as the program started, is in a
// form Java can read (see java_path.h), and no text on that command line or echoed of it holds a
// character that an older Java would read as a quote, a backslash or a blank (see
// command_line.h); the existence tests use the launcher's own wide paths.
#include "launcher/launch_sequence.h"

#include "launcher/command_line.h"
#include "launcher/install_layout.h"
#include "launcher/java_path.h"
#include "launcher/java_version.h"
#include "launcher/search_path.h"

namespace sorvane {

// ERROR_NOT_ENOUGH_MEMORY, reported when javaw.exe's path or command line could not be held.
static constexpr unsigned long kNotEnoughMemory = 8;

static void logWithDecimal(Platform& platform, const char* text, unsigned long value)
{
    ByteBuffer message;
    message.append(text);
    appendDecimal(message, value);
    platform.log(message.c_str());
}

// The machine's runtime is used only through the javaw.exe beside the java.exe whose version was
// just checked: one found elsewhere (a stale one on PATH) may be any version at all. Some
// installers leave bin\ without javaw.exe; such a Java counts as none. Empty when there is none.
static WideBuffer javawBeside(Platform& platform, const WideBuffer& java)
{
    WideBuffer javaw = DirectoryOf(java.c_str());
    javaw.append(kJavawName);
    if (javaw.failed() || !platform.fileExists(javaw.c_str()))
        javaw.clear();
    return javaw;
}

// What the launcher echoes of a path it hands over: the path as its field on the child's command
// line writes it between the quotes.
static void echoPath(Platform& platform, const WideBuffer& path, LookAlikeTest lookAlike)
{
    WideBuffer line;
    appendQuotedText(line, path.c_str());
    ReplaceLookAlikes(line, lookAlike);
    platform.echo(line.c_str());
}

int RunLauncher(Platform& platform)
{
    platform.log("Starting Sorvane Launcher...");

    CommandLineSplitter arguments(platform.commandLine());
    WideBuffer program;
    WideBuffer forwarded;
    if (!arguments.next(program) || !arguments.next(forwarded))
        return kExitNoArgument;
    // Every path of the layout names a file in this directory; one relative to the current
    // directory (GetModuleFileNameW failed) would start whatever was planted there.
    const wchar_t* installDirectory = platform.installDirectory();
    if (!IsFullyQualifiedPath(installDirectory, WideBuffer::length(installDirectory))) {
        platform.log("Install directory not found");
        return kExitChildNotStarted;
    }

    ByteBuffer probeOutput;
    WideBuffer java;
    ByteBuffer versionText;
    bool found = false;
    if (platform.findProgram(kJavaName, java) &&
        platform.captureProbeOutput(PathForJava(platform, java.c_str()).c_str(), probeOutput)) {
        found = FindJavaVersionText(probeOutput.c_str(), probeOutput.size(), versionText);
        if (!found)
            platform.echo(L"Java version not found!");
    }
    ByteBuffer status;
    status.append("System java version: ");
    status.append(found ? versionText.c_str() : "JRE not found");
    platform.log(status.c_str());

    // The install as it is on disk, for the launcher's own checks, and as Java reads it, for the
    // child's command line and the program started.
    const InstallLayout onDisk = LayoutIn(installDirectory);
    const WideBuffer installForJava = PathForJava(platform, onDisk.installDirectory.c_str());
    const InstallLayout forJava = LayoutIn(installForJava.c_str());
    const LookAlikeTest lookAlike = platform.lookAlikeTest();
    WideBuffer systemJavaw;
    if (found && JavaVersionNumber(versionText.c_str()) >= SYSTEM_JAVA_MIN_VERSION)
        systemJavaw = javawBeside(platform, java);
    Runtime runtime = Runtime::System;
    if (!systemJavaw.empty()) {
        platform.log("System JRE version >= 1.7, using system JRE");
    } else {
        // The two spaces before "using" are what log readers have always matched.
        platform.log("System JRE not found, or JRE version < 1.7,  using bundled JRE");
        runtime = Runtime::Local;
        echoPath(platform, forJava.localJavaPath, lookAlike);
        if (!platform.fileExists(onDisk.localJavaPath.c_str())) {
            platform.log("Bundled JRE not found");
            platform.log(kNoRuntimeRecord);
            platform.showMessageBox(kNoRuntimeText, kNoRuntimeCaption);
            return kExitNoRuntime;
        }
    }

    echoPath(platform, forJava.trustStorePath, lookAlike);
    bool trustStoreExists = platform.fileExists(onDisk.trustStorePath.c_str());
    if (trustStoreExists)
        platform.log("Find cert file,Starting Sorvane Launcher with -Djavax.net.ssl.trustStore...");
    const ForwardedArgument argument = ArgumentForJava(platform, forwarded.c_str());
    TextSpan archiveField;
    WideBuffer childCommandLine = ChildCommandLine(runtime, forJava, trustStoreExists, argument, lookAlike, &archiveField);
    echoPath(platform, forJava.installDirectory, lookAlike);
    // The archive is echoed as it has always been: its field as written, with the space after it.
    WideBuffer archive;
    if (archiveField.end <= childCommandLine.size())
        archive.append(childCommandLine.c_str() + archiveField.begin, archiveField.end - archiveField.begin);
    platform.echo(archive.c_str());

    if (childCommandLine.size() > kMaxCommandLineLength) {
        platform.log("Command line too long");
        return kExitChildNotStarted;
    }
    platform.echo(childCommandLine.c_str());

    // Started through the same form as its command line names it: the JVM finds its own files
    // from the path it was started by.
    WideBuffer javaw;
    if (runtime == Runtime::Local)
        javaw.append(forJava.localJavaPath);
    else
        javaw = PathForJava(platform, systemJavaw.c_str());
    // A buffer that could not grow holds its text cut short; nothing built from one is handed to
    // Java. These are every buffer the child's program and command line are made of.
    const bool outOfMemory = forwarded.failed() || installForJava.failed() || forJava.installDirectory.failed() ||
                             forJava.localJavaPath.failed() || forJava.trustStorePath.failed() ||
                             forJava.updaterJarPath.failed() || argument.text.failed() || javaw.failed() ||
                             childCommandLine.failed();
    unsigned long error = kNotEnoughMemory;
    bool ran = !outOfMemory && platform.runChild(javaw.c_str(), childCommandLine.c_str(), error);
    if (!ran)
        logWithDecimal(platform, "Failed to start Java, error ", error);
    // Written once the child has ended, not when it starts.
    platform.log("Sorvane Launcher started");
    return ran ? kExitChildEnded : kExitChildNotStarted;
}

}  // namespace sorvane
