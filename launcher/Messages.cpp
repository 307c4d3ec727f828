#include "Messages.h"

#include "Format.h"

namespace kickoff {

const char* const kJreDownloadAddress = "https://www.java.com";

const char* const kErrorBoxCaption = "Error: cannot launch program";

std::string usageText()
{
    return "\n usage: Kickoff vNum v2Num mNum exec classpath addargs class launchmethod\n";
}

std::string launchMethodText()
{
    return "\n launchmethod must be 'W' for windowed or 'C' for console applications\n";
}

std::string notInstalledText(int vNum, int v2Num, int mNum, const std::string& errorText)
{
    return formatText("\n jre%d.%d.%d not installed (%s)\n", vNum, v2Num, mNum,
                      errorText.c_str());
}

std::string errorBoxText(int vNum, int v2Num, const std::string& errorText)
{
    return formatText("Sun JRE %d.%d not properly installed!\n(%s)\n\nYou can get JRE from ",
                      vNum, v2Num, errorText.c_str())
        + kJreDownloadAddress + ".";
}

} // namespace kickoff
