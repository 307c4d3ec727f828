#include "ServerSwitch.h"

#include <cstring>

ServerSwitch ScanServerSwitch(const char* commandLine, CompareNoCase compare) {
    for (const char* sep = std::strpbrk(commandLine, "-/"); sep != nullptr;
         sep = std::strpbrk(sep + 1, "-/")) {
        const char* token = sep + 1;
        if (compare(token, "UnregServer") == 0)
            return ServerSwitch::Unregister;
        if (compare(token, "RegServer") == 0)
            return ServerSwitch::Register;
    }
    return ServerSwitch::None;
}
