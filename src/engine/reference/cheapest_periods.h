// The literal model's one door: the answer of a request, found by trying
// every selection in a fixed order. Tests, fuzz targets, the benchmark and
// the short-series fallback all come in here.
#pragma once

#include <span>

#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve::reference {

// The cheapest periods of a request that passes the request rules, at any
// length (the work doubles with every period). Only decimal sums, exactly as
// the answers are defined: a sum that overflows aborts with "Addition
// overflowed".
SelectionResult cheapest_periods(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                 const TimingRules& rules, bool aggressive);

}  // namespace tariffsieve::reference
