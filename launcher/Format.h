// printf-style formatting into a string sized to fit the result.
#ifndef KICKOFF_FORMAT_H
#define KICKOFF_FORMAT_H

#include <string>

namespace kickoff {

// Returns the text that printf would write for `format` and the arguments,
// however long it is (the launcher's texts never have a fixed ceiling).
std::string formatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace kickoff

#endif
