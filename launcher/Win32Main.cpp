// Kickoff: checks that the required Sun JRE is installed, then starts the
// Java application windowed or in this console.
#include "Launcher.h"
#include "Win32Registry.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The launcher's operations on Win32 and the C library.
class Win32Platform final : public kickoff::LauncherPlatform {
public:
    const kickoff::RegistryKey& localMachine() const override { return localMachine_; }

    const kickoff::RegistryKey* otherLocalMachineView() const override
    {
        return hasOtherView() ? &otherView_ : nullptr;
    }

    void writeOutput(const std::string& text) override
    {
        // Out before a message box or the Java program can hold the console.
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }

    void showError(const std::string& caption, const std::string& text) override
    {
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
    }

    bool startWindowed(const std::string& commandLine) override
    {
        return WinExec(commandLine.c_str(), SW_SHOWNORMAL) > 31;
    }

    int runInConsole(const std::string& commandLine) override
    {
        // The Java program writes to the same console; our text comes first.
        std::fflush(nullptr);
        return std::system(commandLine.c_str());
    }

private:
#ifdef _WIN64
    static constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
    static bool hasOtherView() { return true; }
#else
    static constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
    // Only a 32-bit program on 64-bit Windows has a 64-bit view beside its own.
    static bool hasOtherView()
    {
        BOOL wow64 = FALSE;
        return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    }
#endif

    kickoff::Win32RegistryKey localMachine_{HKEY_LOCAL_MACHINE, false};
    kickoff::Win32RegistryKey otherView_{HKEY_LOCAL_MACHINE, false, kOtherView};
};

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    Win32Platform platform;
    return kickoff::runLauncher(args, platform);
}
