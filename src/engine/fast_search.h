// The fast search: the answers of the exhaustive searches, found by dynamic
// programming over the timing rules instead of by enumeration.
#pragma once

#include <optional>
#include <span>

#include "engine/priced_period.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// Answers a request that reached a strategy (same arguments, same
// requirements) exactly as get_cheapest_periods_aggressive or
// get_cheapest_periods_conservative would. Returns nothing, and the caller
// runs the exhaustive search, when prices are so large or so finely scaled
// that the exhaustive search could round or overflow a sum, or (aggressive
// only) when the smallest average is negative with a mantissa within a few
// units of 2^96 / 10, where rounding it does not behave as the search
// assumes. A request that breaks a request rule aborts.
std::optional<SelectionResult> fast_cheapest_periods(std::span<const PricedPeriod> all_periods,
                                                     std::span<const PricedPeriod> cheap_items, const TimingRules& rules,
                                                     bool aggressive);

}  // namespace tariffsieve
