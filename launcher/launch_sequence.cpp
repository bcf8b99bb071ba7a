// The launch sequence, in its fixed order:
//   1. log the start;
//   2. split the command line; without an argument to forward, end here;
//   3. run "java -version" and log the version found;
//   4. choose the machine's runtime (1.7 or later) or the bundled one, and log the choice;
//   5. for the bundled runtime, check that its javaw.exe exists; if not, log, show the box, end;
//   6. build the child command line, start the child (the machine's javaw.exe beside the java.exe
//      that answered), wait for it, log "Sorvane Launcher started".
#include "launcher/launch_sequence.h"

#include "launcher/command_line.h"
#include "launcher/install_layout.h"
#include "launcher/java_version.h"

namespace sorvane {

static void logWithDecimal(Platform& platform, const char* text, unsigned long value)
{
    ByteBuffer message;
    message.append(text);
    appendDecimal(message, value);
    platform.log(message.c_str());
}

int RunLauncher(Platform& platform)
{
    platform.log("Starting Sorvane Launcher...");

    CommandLineSplitter arguments(platform.commandLine());
    WideBuffer program;
    WideBuffer forwarded;
    if (!arguments.next(program) || !arguments.next(forwarded))
        return kExitNoArgument;

    ByteBuffer probeOutput;
    WideBuffer java;
    ByteBuffer versionText;
    bool found = false;
    if (platform.captureProbeOutput(probeOutput, java)) {
        found = FindJavaVersionText(probeOutput.c_str(), probeOutput.size(), versionText);
        if (!found)
            platform.echo(L"Java version not found!");
    }
    ByteBuffer status;
    status.append("System java version: ");
    status.append(found ? versionText.c_str() : "JRE not found");
    platform.log(status.c_str());

    const wchar_t* modulePath = platform.modulePath();
    Runtime runtime = Runtime::System;
    WideBuffer localJava;
    if (found && JavaVersionNumber(versionText.c_str()) >= SYSTEM_JAVA_MIN_VERSION) {
        platform.log("System JRE version >= 1.7, using system JRE");
    } else {
        // The two spaces before "using" are what log readers have always matched.
        platform.log("System JRE not found, or JRE version < 1.7,  using bundled JRE");
        runtime = Runtime::Local;
        localJava = LocalJavaPath(modulePath);
        platform.echo(localJava.c_str());
        if (!platform.fileExists(localJava.c_str())) {
            platform.log("Bundled JRE not found");
            platform.log("Sorvane Launcher cannot be started. Please install JRE.");
            platform.showMessageBox(kNoRuntimeText, kNoRuntimeCaption);
            return kExitNoRuntime;
        }
    }

    WideBuffer trustStore = TrustStorePath(modulePath);
    platform.echo(trustStore.c_str());
    bool trustStoreExists = platform.fileExists(trustStore.c_str());
    if (trustStoreExists)
        platform.log("Find cert file,Starting Sorvane Launcher with -Djavax.net.ssl.trustStore...");
    platform.echo(InstallPathArgument(modulePath).c_str());
    platform.echo(UpdaterJarArgument(modulePath).c_str());

    WideBuffer childCommandLine = ChildCommandLine(runtime, trustStoreExists, modulePath, forwarded.c_str());
    if (childCommandLine.failed()) {
        platform.log("Command line too long");
        return kExitChildNotStarted;
    }
    platform.echo(childCommandLine.c_str());

    // The machine's javaw.exe is the one beside the java.exe whose version was just checked, so a
    // stale javaw.exe earlier on PATH is never started; only where that directory has none is it
    // looked for the way java.exe was.
    const wchar_t* javaw = localJava.c_str();
    WideBuffer systemJavaw;
    if (runtime == Runtime::System) {
        systemJavaw = JavawBesideJava(java.c_str());
        javaw = !java.empty() && platform.fileExists(systemJavaw.c_str()) ? systemJavaw.c_str() : kJavawName;
    }
    unsigned long error = 0;
    bool ran = platform.runChild(javaw, childCommandLine.c_str(), error);
    if (!ran)
        logWithDecimal(platform, "Failed to start Java, error ", error);
    // Written once the child has ended, not when it starts.
    platform.log("Sorvane Launcher started");
    return ran ? kExitChildEnded : kExitChildNotStarted;
}

}  // namespace sorvane
