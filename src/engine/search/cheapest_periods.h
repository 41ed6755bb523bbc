// The one exact search: the exact search on integer prices when no sum of
// prices can round, the literal search on rounded sums when some can.
#pragma once

#include <optional>
#include <span>

#include "decimal/decimal.h"
#include "engine/search/series_rules.h"
#include "engine/selection_result.h"

namespace tariffsieve::search {

// The answer the exhaustive search gives a request that no trivial answer
// settles (min_selections below n, some period not cheap), at any length up
// to max_plan_periods; nothing when prices of both signs come near the
// decimal range, or too many candidates tie within the rounding (L1, L6).
// Prices of one sign whose sum overflows abort with "Addition overflowed",
// as the exhaustive search does.
std::optional<SelectionResult> cheapest_periods(std::span<const Decimal> prices, const SeriesRules& rules,
                                                bool aggressive);

}  // namespace tariffsieve::search
