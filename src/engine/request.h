// The entry get_cheapest_periods: the one pipeline at the exhaustive
// reference's length limit.
#pragma once

#include <span>

#include "decimal/decimal.h"
#include "engine/request_rules.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// The cheapest periods of at most max_exhaustive_periods prices; a broken
// request rule is an error value.
SelectionResult get_cheapest_periods(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                     const TimingRules& rules, bool aggressive);

}  // namespace tariffsieve
