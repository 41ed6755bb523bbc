// The parser's messages, written out once for the tests and the fuzz target
// that expect them.
#pragma once

namespace tariffsieve::test::parse_message {

inline constexpr const char* empty = "Invalid decimal: empty";
inline constexpr const char* no_digits = "Invalid decimal: no digits found";
inline constexpr const char* lead = "Invalid decimal: must start lead with a number";
inline constexpr const char* two_points = "Invalid decimal: two decimal points";
inline constexpr const char* unknown = "Invalid decimal: unknown character";
inline constexpr const char* too_many_digits = "Invalid decimal: overflow from too many digits";
inline constexpr const char* round_overflow = "Invalid decimal: overflow from mantissa after rounding";

}  // namespace tariffsieve::test::parse_message
