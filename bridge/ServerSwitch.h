// The switches on the bridge's command line: registration, and COM's start.
#ifndef BRIDGE_SERVER_SWITCH_H
#define BRIDGE_SERVER_SWITCH_H

enum class ServerSwitch { None, Unregister, Register };

// Case-insensitive comparison of two NUL-terminated strings; 0 when equal.
using CompareNoCase = int (*)(const char*, const char*);

// Scans `commandLine` (program name included) for a switch: each '-' or '/'
// starts a token that runs to the end of the line, and the token is compared
// with "UnregServer", then "RegServer", over its whole length. So a switch
// counts only as the last thing on the line. The first matching token wins.
ServerSwitch ScanServerSwitch(const char* commandLine, CompareNoCase compare);

// True when one of the arguments after the program name (quoted or not) is
// the word "-Embedding" or "/Embedding", in any letter case: the switch
// with which COM starts a local server for an activation.
bool StartedByCom(const char* commandLine, CompareNoCase compare);

#endif
