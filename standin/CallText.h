#pragma once

#include <cstdint>
#include <string>

namespace standin {

// One line of the call log under construction: the operation name, then each
// argument after one space, in the order received. Formats:
//   long    decimal, e.g. -3
//   boolean true | false
//   double  "%.Ng" with the fewest digits N that read back to the same double,
//           N raised to the integer digits below 1e17 so that whole numbers
//           stay plain: 1.5, -2, -0, 0.1, 21000, 2.5e-07, 1e+17, 1e+300,
//           inf, -inf; every NaN as nan
//   string  in double quotes; octets 0x20..0x7e as they are except \" and \\,
//           every other octet as \xHH (two lowercase hex digits)
class CallText {
public:
  explicit CallText(const char* operation);

  CallText& number(std::int32_t value);
  CallText& flag(bool value);
  CallText& real(double value);
  CallText& text(const char* octets);

  // The line so far, for a call that succeeded without a result.
  const std::string& line() const { return line_; }
  // The line with " -> N", for a call that returned N.
  std::string returning(std::int32_t result) const;
  // The line with " -> NAME", for a call answered with the system exception NAME.
  std::string raising(const char* exception) const;

private:
  std::string line_;
};

} // namespace standin
