#include "ServerSwitch.h"

#include <cstring>
#include <string>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The rest of the line after the program name, which in quotes may hold
// blanks, '-' and '/'.
const char* SkipProgramName(const char* line) {
    if (*line == '"') {
        const char* end = std::strchr(line + 1, '"');
        return end != nullptr ? end + 1 : line + std::strlen(line);
    }
    while (*line != '\0' && !IsBlank(*line))
        ++line;
    return line;
}

}  // namespace

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

bool StartedByCom(const char* commandLine, CompareNoCase compare) {
    const char* next = SkipProgramName(commandLine);
    while (*next != '\0') {
        while (IsBlank(*next))
            ++next;
        const char* word = next;
        while (*next != '\0' && !IsBlank(*next))
            ++next;
        if (next - word > 1 && (*word == '-' || *word == '/') &&
            compare(std::string(word + 1, next).c_str(), "Embedding") == 0)
            return true;
    }
    return false;
}
