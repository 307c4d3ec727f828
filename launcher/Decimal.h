// Reading of decimal integers the way the C library's atoi reads them.
#ifndef KICKOFF_DECIMAL_H
#define KICKOFF_DECIMAL_H

#include <string>

namespace kickoff {

// Skips leading white space, takes an optional '+' or '-', then reads
// decimal digits up to the first non-digit. No digits give 0. A value beyond
// the range of int is clamped to INT_MIN or INT_MAX instead of overflowing.
int readDecimal(const std::string& text);

} // namespace kickoff

#endif
