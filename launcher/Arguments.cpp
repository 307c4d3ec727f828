#include "Arguments.h"

#include "Decimal.h"

#include <cctype>

namespace kickoff {

namespace {

// Only the first character counts, in either case; an empty text has none.
bool readLaunchMethod(const std::string& text, LaunchMethod& method)
{
    const char first = text.empty()
        ? '\0'
        : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (first == 'W') {
        method = LaunchMethod::Windowed;
        return true;
    }
    if (first == 'C') {
        method = LaunchMethod::Console;
        return true;
    }
    return false;
}

} // namespace

ArgumentStatus parseArguments(const std::vector<std::string>& args, LaunchRequest& request)
{
    if (args.size() != kArgumentCount)
        return ArgumentStatus::WrongCount;
    LaunchRequest read;
    if (!readLaunchMethod(args[7], read.method))
        return ArgumentStatus::BadLaunchMethod;
    read.vNum = readDecimal(args[0]);
    read.v2Num = readDecimal(args[1]);
    read.mNum = readDecimal(args[2]);
    read.exec = args[3];
    read.classpath = args[4];
    read.addargs = args[5];
    read.mainClass = args[6];
    request = read;
    return ArgumentStatus::Ok;
}

} // namespace kickoff
