#include "CommandLine.h"
#include "Messages.h"

#include <gtest/gtest.h>

using kickoff::buildCommandLine;

TEST(CommandLine, OnlyTheClassPathIsQuoted)
{
    EXPECT_EQ(buildCommandLine("C:\\JRE\\1.1", "\\bin\\jrew.exe", "a;b", "-Dx=1", "Main"),
              "C:\\JRE\\1.1\\bin\\jrew.exe -cp \"a;b\" -Dx=1 Main");
    EXPECT_EQ(buildCommandLine("C:\\Program Files\\JRE", "\\bin\\java.exe", "my lib\\a.jar",
                               "-Xmx64m -Dy=\"q\"", "pkg.Main"),
              "C:\\Program Files\\JRE\\bin\\java.exe -cp \"my lib\\a.jar\" -Xmx64m -Dy=\"q\" "
              "pkg.Main");
}

TEST(CommandLine, EmptyPartsKeepTheirBlanks)
{
    EXPECT_EQ(buildCommandLine("C:\\JRE", "\\bin\\java.exe", "a", "", "Main"),
              "C:\\JRE\\bin\\java.exe -cp \"a\"  Main");
    EXPECT_EQ(buildCommandLine("", "", "", "", ""), " -cp \"\"  ");
}

TEST(CommandLine, LongPartsAreKeptWhole)
{
    // Around the old ceiling of 511 characters and far beyond it.
    for (std::size_t length : {480u, 481u, 482u, 5000u}) {
        const std::string classpath(length, 'c');
        const std::string line =
            buildCommandLine(std::string(127, 'h'), "\\bin\\java.exe", classpath, "-Da", "M");
        EXPECT_EQ(line, std::string(127, 'h') + "\\bin\\java.exe -cp \"" + classpath
                            + "\" -Da M");
    }
}

TEST(Messages, ConsoleTexts)
{
    EXPECT_EQ(kickoff::usageText(),
              "\n usage: Kickoff vNum v2Num mNum exec classpath addargs class launchmethod\n");
    EXPECT_EQ(kickoff::launchMethodText(),
              "\n launchmethod must be 'W' for windowed or 'C' for console applications\n");
    EXPECT_EQ(kickoff::notInstalledText(1, 1, 9, "MicroVersion is 8 but at least 9 is required"),
              "\n jre1.1.9 not installed (MicroVersion is 8 but at least 9 is required)\n");
    EXPECT_EQ(kickoff::notInstalledText(-1, 22, 333, ""), "\n jre-1.22.333 not installed ()\n");
}

TEST(Messages, ErrorBox)
{
    EXPECT_STREQ(kickoff::kErrorBoxCaption, "Error: cannot launch program");
    EXPECT_EQ(kickoff::errorBoxText(1, 3, "can't open Key 'JavaSoft'"),
              std::string("Sun JRE 1.3 not properly installed!\n(can't open Key 'JavaSoft')\n\n"
                          "You can get JRE from ")
                  + kickoff::kJreDownloadAddress + ".");
    EXPECT_EQ(std::string(kickoff::kJreDownloadAddress).rfind("https://", 0), 0u);
    const std::string longError(300, 'e');
    const std::string text = kickoff::errorBoxText(1, 1, longError);
    EXPECT_NE(text.find("(" + longError + ")"), std::string::npos);
}
