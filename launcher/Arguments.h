// The launcher's eight command-line arguments.
#ifndef KICKOFF_ARGUMENTS_H
#define KICKOFF_ARGUMENTS_H

#include <string>
#include <vector>

namespace kickoff {

// How the Java program is started.
enum class LaunchMethod {
    Windowed, // detached, the launcher does not wait
    Console   // through the command interpreter, waiting for it
};

// The arguments after the program name, read.
struct LaunchRequest {
    int vNum = 0;           // major version of the required JRE
    int v2Num = 0;          // minor version of the required JRE
    int mNum = 0;           // lowest acceptable micro version
    std::string exec;       // Java executable, relative to the JRE home
    std::string classpath;  // class path, quoted on the command line
    std::string addargs;    // further arguments, inserted verbatim
    std::string mainClass;  // main class, inserted verbatim
    LaunchMethod method = LaunchMethod::Windowed;
};

// Outcome of reading the arguments.
enum class ArgumentStatus {
    Ok,
    WrongCount,       // not exactly eight arguments
    BadLaunchMethod   // launchmethod does not begin with W or C in either case
};

// The number of arguments the launcher takes after its name.
constexpr std::size_t kArgumentCount = 8;

// Reads `args` (the arguments after the program name) into `request`. The
// count is tested first, then the launch method; the version numbers are read
// only when both pass. `request` is changed only on Ok.
ArgumentStatus parseArguments(const std::vector<std::string>& args, LaunchRequest& request);

} // namespace kickoff

#endif
