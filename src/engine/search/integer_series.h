// A request in the form the exact search works on: small-integer rules, the
// cheap flags, and every price as an integer at one common scale.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "decimal/decimal.h"
#include "engine/int128.h"
#include "engine/timing_rules.h"

namespace tariffsieve::search {

struct IntegerSeries {
    int n = 0;
    int min_block = 1;  // min_consecutive_periods
    int max_gap = 0;    // max_gap_between_periods, at most n
    int max_start = 0;  // max_gap_from_start, at most max_gap
    int min_size = 1;   // min_selections
    std::vector<std::uint8_t> cheap;
    std::uint32_t scale = 0;     // the largest scale among the non-zero prices
    std::vector<Int128> value;   // price * 10^scale, exact
    Int128 total_magnitude;      // the sum of every |value|, below 2^96 - 1 (claim 1)
};

// The rules of a request that passed the request rules, in small integers,
// and which periods are cheap; no values yet. n is at most max_plan_periods.
IntegerSeries series_rules(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                           const TimingRules& rules);

// That series with every price as an exact integer at one scale; nothing
// when some sum of prices could round (claim 1).
std::optional<IntegerSeries> integer_series(std::span<const Decimal> prices, IntegerSeries series);

// 10^exponent, exponent at most 28.
Int128 power_of_ten(std::uint32_t exponent);

// The mantissa of a decimal, without its sign.
Int128 mantissa_of(const Decimal& value);

// A value's mantissa held at the largest scale (at most 28) that keeps it
// below 2^96: the last place in which a quotient of that value is rounded.
struct Digits {
    Int128 mantissa;  // without the sign
    std::uint32_t scale = 0;
};
Digits finest_digits(const Decimal& value);

// The Decimal value * 10^scale, |value| < 2^96 - 1.
Decimal to_decimal(const Int128& value, std::uint32_t scale);

}  // namespace tariffsieve::search
