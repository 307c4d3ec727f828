#pragma once

#include <map>
#include <string>

namespace standin {

// The stand-in's command line:
//   stava-standin --ref FILE [--calls FILE] [--port N] [--giop 1.0|1.2]
//                 [--host ADDRESS] [--max-seconds N] [--delay OPERATION=MS]...
//                 [--idle-scan N]
struct Options {
  std::string refFile;        // where the stringified reference goes (required)
  std::string callsFile;      // call log; empty: no log
  std::string host = "127.0.0.1";
  unsigned port = 0;          // 0: a free port
  std::string giop = "1.2";   // IIOP version of the published profile: "1.0" or "1.2"
  unsigned maxSeconds = 0;    // stop by itself after this many seconds; 0: never
  // Milliseconds to wait before applying each call of an operation, by
  // operation name, so that tests can catch a call in progress.
  std::map<std::string, unsigned> delaysMs;
  // omniORB's inConScanPeriod in seconds: how often it looks for idle
  // connections to close; 0 (the default) leaves omniORB's own, 180.
  unsigned idleScanSeconds = 0;
};

// Parses argv[1..argc-1]; throws std::invalid_argument with a message naming
// the offending argument.
Options parseOptions(int argc, const char* const* argv);

// The usage text, one line per option.
const char* usageText();

} // namespace standin
