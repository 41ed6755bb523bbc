// The two exhaustive searches behind the entry. They try every combination in
// a fixed order and so define the answers; any faster search must agree.
#pragma once

#include <span>

#include "engine/reference/priced_period.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve::reference {

// Lowest average price per selected period: at the first size from
// min_selections up that has a valid main combination, every valid main
// combination alone and with each admissible choice of its cheap groups.
// all_periods[i] must have index i.
SelectionResult get_cheapest_periods_aggressive(std::span<const PricedPeriod> all_periods,
                                                std::span<const PricedPeriod> cheap_items, const TimingRules& rules);

// The cheapest valid main combination of the first feasible size, then the
// choice of its cheap groups that adds the most cheap periods, cheapest
// first. Same requirements as the aggressive search.
SelectionResult get_cheapest_periods_conservative(std::span<const PricedPeriod> all_periods,
                                                  std::span<const PricedPeriod> cheap_items, const TimingRules& rules);

}  // namespace tariffsieve::reference
