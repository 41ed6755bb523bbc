// The entry of `plan`: the rules and answers of get_cheapest_periods at any
// length of series, answered by a search that is polynomial in the length.
#pragma once

#include <cstdint>
#include <span>

#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// The longest series plan takes: a week of five-minute prices. Its tables
// grow with the square of the length, and its 128-bit weights stay exact
// for series below 2^11 periods.
inline constexpr std::uint64_t max_plan_periods = 2016;

// The answer get_cheapest_periods gives, for series of any length up to
// max_plan_periods. Failures are error values (ValueError in Python): a
// request rule, or prices whose sums could round beyond 28 periods. Up to 28
// periods such prices go to the exhaustive search, whose overflowing sums
// abort with "Addition overflowed"; plan's call guard reports that abort as
// a ValueError, since a caller can provoke it.
SelectionResult plan(std::span<const Decimal> prices, const Decimal& low_price_threshold, const TimingRules& rules,
                     bool aggressive);

}  // namespace tariffsieve
