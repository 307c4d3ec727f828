#include "Format.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace kickoff {

std::string formatText(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        va_end(args);
        throw std::runtime_error("formatText: bad format");
    }
    // One more for the NUL that vsnprintf always writes.
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace kickoff
