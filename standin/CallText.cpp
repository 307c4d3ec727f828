#include "CallText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin {

namespace {

// The fewest significant digits that read back to the same double.
int shortestDigits(double value)
{
  char text[32];
  for (int digits = 1; digits < 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    const double back = std::strtod(text, nullptr);
    if (back == value && std::signbit(back) == std::signbit(value))
      return digits; // the sign test keeps -0 apart from 0
  }
  return 17;
}

std::string shortestRoundTrip(double value)
{
  if (std::isnan(value))
    return "nan"; // the sign and payload of a NaN say nothing to a test
  int digits = shortestDigits(value);
  // %g switches to e-notation once the decimal exponent reaches the
  // precision (21000 at 2 digits is 2.1e+04); whole numbers below 1e17 read
  // better in plain notation, so the precision covers their integer digits.
  char text[32];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
  const char* e = std::strchr(text, 'e');
  const int exponent = e != nullptr ? std::atoi(e + 1) : 0;
  if (exponent >= digits && exponent < 17)
    digits = exponent + 1;
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

} // namespace

CallText::CallText(const char* operation) : line_(operation) {}

CallText& CallText::number(std::int32_t value)
{
  line_ += ' ';
  line_ += std::to_string(value);
  return *this;
}

CallText& CallText::flag(bool value)
{
  line_ += value ? " true" : " false";
  return *this;
}

CallText& CallText::real(double value)
{
  line_ += ' ';
  line_ += shortestRoundTrip(value);
  return *this;
}

CallText& CallText::text(const char* octets)
{
  static const char hex[] = "0123456789abcdef";
  line_ += " \"";
  for (const char* p = octets; *p != '\0'; ++p) {
    const auto octet = static_cast<unsigned char>(*p);
    if (octet == '"' || octet == '\\') {
      line_ += '\\';
      line_ += static_cast<char>(octet);
    } else if (octet >= 0x20 && octet <= 0x7e) {
      line_ += static_cast<char>(octet);
    } else {
      line_ += "\\x";
      line_ += hex[octet >> 4];
      line_ += hex[octet & 0x0f];
    }
  }
  line_ += '"';
  return *this;
}

std::string CallText::returning(std::int32_t result) const
{
  return line_ + " -> " + std::to_string(result);
}

std::string CallText::raising(const char* exception) const
{
  return line_ + " -> " + exception;
}

} // namespace standin
