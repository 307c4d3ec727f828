#include "CommandLine.h"

#include "Format.h"

namespace kickoff {

std::string buildCommandLine(const std::string& javaHome, const std::string& exec,
                             const std::string& classpath, const std::string& addargs,
                             const std::string& mainClass)
{
    return formatText("%s%s -cp \"%s\" %s %s", javaHome.c_str(), exec.c_str(),
                      classpath.c_str(), addargs.c_str(), mainClass.c_str());
}

} // namespace kickoff
