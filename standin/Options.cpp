#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace standin {

namespace {

unsigned parseUnsigned(const std::string& option, const std::string& text, unsigned long max)
{
  errno = 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || value > max)
    throw std::invalid_argument(option + ": not a number from 0 to " + std::to_string(max) + ": " + text);
  return static_cast<unsigned>(value);
}

// "OPERATION=MS" of --delay into delays.
void parseDelay(const std::string& value, std::map<std::string, unsigned>& delays)
{
  const std::string::size_type equals = value.find('=');
  if (equals == std::string::npos || equals == 0)
    throw std::invalid_argument("--delay: not OPERATION=MS: " + value);
  delays[value.substr(0, equals)] = parseUnsigned("--delay", value.substr(equals + 1), 600000);
}

} // namespace

Options parseOptions(int argc, const char* const* argv)
{
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc)
      throw std::invalid_argument(option + ": value missing");
    const std::string value = argv[++i];
    if (option == "--ref")
      options.refFile = value;
    else if (option == "--calls")
      options.callsFile = value;
    else if (option == "--host")
      options.host = value;
    else if (option == "--port")
      options.port = parseUnsigned(option, value, 65535);
    else if (option == "--giop" && (value == "1.0" || value == "1.2"))
      options.giop = value;
    else if (option == "--max-seconds")
      options.maxSeconds = parseUnsigned(option, value, 86400);
    else if (option == "--delay")
      parseDelay(value, options.delaysMs);
    else if (option == "--idle-scan")
      options.idleScanSeconds = parseUnsigned(option, value, 86400);
    else
      throw std::invalid_argument("unknown option or value: " + option + " " + value);
  }
  if (options.refFile.empty())
    throw std::invalid_argument("--ref FILE is required");
  return options;
}

const char* usageText()
{
  return "usage: stava-standin --ref FILE [--calls FILE] [--port N] [--giop 1.0|1.2]\n"
         "                     [--host ADDRESS] [--max-seconds N] [--delay OPERATION=MS]...\n"
         "                     [--idle-scan N]\n"
         "  --ref FILE        write the object reference (IOR:...) here once serving\n"
         "  --calls FILE      write one line per received call here\n"
         "  --port N          listen on port N (default 0: a free port)\n"
         "  --giop V          publish an IIOP V profile, 1.0 or 1.2 (default 1.2)\n"
         "  --host ADDRESS    listen on and publish ADDRESS (default 127.0.0.1)\n"
         "  --max-seconds N   stop by itself after N seconds (default 0: never)\n"
         "  --delay OP=MS     wait MS milliseconds (up to 600000) before applying each\n"
         "                    call of operation OP; calls after it wait their turn\n"
         "  --idle-scan N     look for idle connections every N seconds and close them\n"
         "                    (omniORB's inConScanPeriod; default 0: omniORB's 180)\n";
}

} // namespace standin
