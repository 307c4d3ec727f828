#include "Launcher.h"

#include "Arguments.h"
#include "CommandLine.h"
#include "JreCheck.h"
#include "Messages.h"

namespace kickoff {

int runLauncher(const std::vector<std::string>& args, LauncherPlatform& platform)
{
    LaunchRequest request;
    switch (parseArguments(args, request)) {
    case ArgumentStatus::WrongCount:
        platform.writeOutput(usageText());
        return ExitUsage;
    case ArgumentStatus::BadLaunchMethod:
        platform.writeOutput(launchMethodText());
        return ExitBadLaunchMethod;
    case ArgumentStatus::Ok:
        break;
    }

    const JreCheckResult jre =
        checkJreInViews(platform.localMachine(), platform.otherLocalMachineView(),
                        request.vNum, request.v2Num, request.mNum);
    if (jre.code != JreUsable) {
        platform.writeOutput(
            notInstalledText(request.vNum, request.v2Num, request.mNum, jre.errorText));
        platform.showError(kErrorBoxCaption,
                           errorBoxText(request.vNum, request.v2Num, jre.errorText));
        return ExitNoJre;
    }

    const std::string commandLine = buildCommandLine(
        jre.javaHome, request.exec, request.classpath, request.addargs, request.mainClass);
    if (request.method == LaunchMethod::Windowed)
        return platform.startWindowed(commandLine) ? ExitStarted : ExitStartFailed;
    return platform.runInConsole(commandLine);
}

} // namespace kickoff
