#include "Launcher.h"

#include "FakeRegistry.h"

#include <gtest/gtest.h>

using kickoff::runLauncher;
using kickoff_test::FakeRegistry;

namespace {

// Records what the launcher does instead of doing it.
class FakePlatform final : public kickoff::LauncherPlatform {
public:
    FakeRegistry registry;
    FakeRegistry otherView;  // the other view of 64-bit Windows, when hasOtherView
    bool hasOtherView = false;
    std::string output;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<std::string> windowed;
    std::vector<std::string> console;
    bool windowedStarts = true;
    int consoleStatus = 0;

    const kickoff::RegistryKey& localMachine() const override { return registry.localMachine; }
    const kickoff::RegistryKey* otherLocalMachineView() const override
    {
        return hasOtherView ? &otherView.localMachine : nullptr;
    }
    void writeOutput(const std::string& text) override { output += text; }
    void showError(const std::string& caption, const std::string& text) override
    {
        boxes.emplace_back(caption, text);
    }
    bool startWindowed(const std::string& commandLine) override
    {
        windowed.push_back(commandLine);
        return windowedStarts;
    }
    int runInConsole(const std::string& commandLine) override
    {
        console.push_back(commandLine);
        return consoleStatus;
    }

    bool startedNothing() const { return windowed.empty() && console.empty(); }
};

std::vector<std::string> args(const std::string& method, const std::string& mNum = "7")
{
    return {"1", "1", mNum, "\\bin\\jrew.exe", "a;b", "-Dx=1", "Main", method};
}

void installJre(FakePlatform& platform)
{
    platform.registry.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\JRE\\1.1"}};
}

const char* const kCommandLine = "C:\\JRE\\1.1\\bin\\jrew.exe -cp \"a;b\" -Dx=1 Main";

} // namespace

TEST(Launcher, WrongCountPrintsUsageBeforeLookingAtAnything)
{
    for (std::size_t count : {0u, 7u, 9u}) {
        FakePlatform platform;
        installJre(platform);
        std::vector<std::string> list = args("x");
        list.resize(count, "x");
        EXPECT_EQ(runLauncher(list, platform), 2);
        EXPECT_EQ(platform.output,
                  "\n usage: Kickoff vNum v2Num mNum exec classpath addargs class launchmethod\n");
        EXPECT_TRUE(platform.registry.log.empty());
        EXPECT_TRUE(platform.boxes.empty());
        EXPECT_TRUE(platform.startedNothing());
    }
}

TEST(Launcher, BadLaunchMethodLeavesTheRegistryAlone)
{
    FakePlatform platform;
    installJre(platform);
    EXPECT_EQ(runLauncher(args("x"), platform), 4);
    EXPECT_EQ(platform.output,
              "\n launchmethod must be 'W' for windowed or 'C' for console applications\n");
    EXPECT_TRUE(platform.registry.log.empty());
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.startedNothing());
}

TEST(Launcher, FailedCheckPrintsShowsTheBoxAndStartsNothing)
{
    FakePlatform platform;
    installJre(platform);
    EXPECT_EQ(runLauncher(args("W", "9"), platform), 3);
    EXPECT_EQ(platform.output,
              "\n jre1.1.9 not installed (MicroVersion is 8 but at least 9 is required)\n");
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].first, "Error: cannot launch program");
    EXPECT_EQ(platform.boxes[0].second.rfind("Sun JRE 1.1 not properly installed!\n"
                                             "(MicroVersion is 8 but at least 9 is required)\n\n"
                                             "You can get JRE from ",
                                             0),
              0u);
    EXPECT_TRUE(platform.startedNothing());
}

TEST(Launcher, NoJreAtAll)
{
    FakePlatform platform;
    EXPECT_EQ(runLauncher(args("C"), platform), 3);
    EXPECT_EQ(platform.output, "\n jre1.1.7 not installed (can't open Key 'SOFTWARE')\n");
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_TRUE(platform.startedNothing());
}

TEST(Launcher, WindowedStartReportsSuccessOrFailureOnlyByExitCode)
{
    for (bool starts : {true, false}) {
        FakePlatform platform;
        installJre(platform);
        platform.windowedStarts = starts;
        EXPECT_EQ(runLauncher(args("windowed"), platform), starts ? 0 : 1);
        EXPECT_EQ(platform.windowed, std::vector<std::string>{kCommandLine});
        EXPECT_TRUE(platform.console.empty());
        EXPECT_EQ(platform.output, "");
        EXPECT_TRUE(platform.boxes.empty());
    }
}

TEST(Launcher, ConsoleStartPassesTheStatusOn)
{
    for (int status : {0, 1, 42, -1}) {
        FakePlatform platform;
        installJre(platform);
        platform.consoleStatus = status;
        EXPECT_EQ(runLauncher(args("console"), platform), status);
        EXPECT_EQ(platform.console, std::vector<std::string>{kCommandLine});
        EXPECT_TRUE(platform.windowed.empty());
        EXPECT_EQ(platform.output, "");
    }
}

// On 64-bit Windows the runtime may be registered only in the other view.
TEST(Launcher, RuntimeOnlyInTheOtherViewIsStarted)
{
    FakePlatform platform;
    platform.hasOtherView = true;
    platform.registry.root.at("SOFTWARE");
    platform.otherView.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\JRE\\1.1"}};
    EXPECT_EQ(runLauncher(args("W"), platform), 0);
    EXPECT_EQ(platform.windowed, std::vector<std::string>{kCommandLine});
    EXPECT_EQ(platform.output, "");
    EXPECT_TRUE(platform.boxes.empty());
}

TEST(Launcher, FailureInBothViewsReportsTheOwnView)
{
    FakePlatform platform;
    platform.hasOtherView = true;
    platform.registry.root.at("SOFTWARE\\JavaSoft");
    platform.otherView.jre("1.1").values = {{"MicroVersion", "6"}, {"JavaHome", "C:\\old"}};
    EXPECT_EQ(runLauncher(args("C"), platform), 3);
    EXPECT_EQ(platform.output,
              "\n jre1.1.7 not installed (can't open Key 'Java Runtime Environment')\n");
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_TRUE(platform.startedNothing());
}
