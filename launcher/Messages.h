// The texts the launcher shows.
#ifndef KICKOFF_MESSAGES_H
#define KICKOFF_MESSAGES_H

#include <string>

namespace kickoff {

// Where the message box sends a user who lacks the JRE.
extern const char* const kJreDownloadAddress;

// Caption of the error box.
extern const char* const kErrorBoxCaption;

// Console text for a wrong argument count.
std::string usageText();

// Console text for a launch method other than W or C.
std::string launchMethodText();

// Console text for a failed JRE check, with its error text.
std::string notInstalledText(int vNum, int v2Num, int mNum, const std::string& errorText);

// Error box text for a failed JRE check, ending with the download address and a full stop.
std::string errorBoxText(int vNum, int v2Num, const std::string& errorText);

} // namespace kickoff

#endif
