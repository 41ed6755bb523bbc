// Decimals as 128-bit integers and back: mantissas, powers of ten, the last
// place a quotient rounds in, and the named values near 2^96.
#pragma once

#include <cstdint>

#include "decimal/decimal.h"
#include "decimal/words.h"
#include "engine/search/int128.h"

namespace tariffsieve::search {

inline constexpr Int128 two_to_96 = Int128::from_words(std::uint64_t{1} << 32, 0);
inline constexpr Int128 largest_mantissa = two_to_96 - Int128::from_int64(1);  // Decimal::max_value()
// The mantissa a rounded-up 2^96 - 1 becomes one scale lower,
// 7922816251426433759354395034: averages just above a negative one of these
// digits round in a place of their own (claim 8).
inline constexpr Int128 crowded_mantissa =
    Int128::from_words(detail::rounded_max_over_10[2],
                       (std::uint64_t{detail::rounded_max_over_10[1]} << 32) | detail::rounded_max_over_10[0]);

// 10^exponent, exponent at most 28.
Int128 power_of_ten(std::uint32_t exponent);

// The mantissa of a decimal, without its sign.
inline Int128 mantissa_of(const Decimal& value) { return Int128::from_words(value.hi(), value.mid_lo()); }

// A value's mantissa held at the largest scale (at most 28) that keeps it
// below 2^96: the last place in which a quotient of that value is rounded.
struct Digits {
    Int128 mantissa;  // without the sign
    std::uint32_t scale = 0;
};
Digits finest_digits(const Decimal& value);

// The Decimal value * 10^-scale, |value| < 2^96.
Decimal to_decimal(const Int128& value, std::uint32_t scale);

}  // namespace tariffsieve::search
