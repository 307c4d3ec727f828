// The launcher's main flow, on top of the platform operations it needs.
#ifndef KICKOFF_LAUNCHER_H
#define KICKOFF_LAUNCHER_H

#include "Registry.h"

#include <string>
#include <vector>

namespace kickoff {

// Exit codes of the launcher besides the command interpreter's status.
enum ExitCode : int {
    ExitStarted = 0,        // windowed launch started
    ExitStartFailed = 1,    // windowed launch failed
    ExitUsage = 2,          // not eight arguments
    ExitNoJre = 3,          // the JRE check failed
    ExitBadLaunchMethod = 4 // launchmethod neither W nor C
};

// What the launcher does to the world.
class LauncherPlatform {
public:
    virtual ~LauncherPlatform() = default;

    // HKEY_LOCAL_MACHINE in the program's own registry view.
    virtual const RegistryKey& localMachine() const = 0;

    // HKEY_LOCAL_MACHINE in the other view of 64-bit Windows (the 64-bit
    // view for a 32-bit program, the 32-bit view for a 64-bit one); null
    // where there is no other view.
    virtual const RegistryKey* otherLocalMachineView() const = 0;

    // Writes `text` to standard output.
    virtual void writeOutput(const std::string& text) = 0;

    // Shows an error box with `caption` and `text` and one OK button; returns when it is closed.
    virtual void showError(const std::string& caption, const std::string& text) = 0;

    // Starts `commandLine` detached in a normal window; true when it started.
    virtual bool startWindowed(const std::string& commandLine) = 0;

    // Runs `commandLine` through the command interpreter with "/c" after
    // flushing standard output, waits, and returns the interpreter's exit
    // status (-1 when no interpreter could be started).
    virtual int runInConsole(const std::string& commandLine) = 0;
};

// Runs the launcher with `args`, the arguments after the program name, and
// returns its exit code.
int runLauncher(const std::vector<std::string>& args, LauncherPlatform& platform);

} // namespace kickoff

#endif
