// The command line that starts the Java program.
#ifndef KICKOFF_COMMANDLINE_H
#define KICKOFF_COMMANDLINE_H

#include <string>

namespace kickoff {

// Returns "<javaHome><exec> -cp \"<classpath>\" <addargs> <mainClass>". Only
// the class path is quoted; the home and exec are joined with no separator
// added. The text is as long as its parts need.
std::string buildCommandLine(const std::string& javaHome, const std::string& exec,
                             const std::string& classpath, const std::string& addargs,
                             const std::string& mainClass);

} // namespace kickoff

#endif
