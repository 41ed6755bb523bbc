// The literal search's view of the prices: every price truncated to one
// working scale, the lowest scale any sum rounds at, and the integer bounds
// that rounded sums and averages keep (claims L1 to L4 of literal_search.h).
#pragma once

#include <optional>
#include <span>

#include "decimal/decimal.h"
#include "engine/search/int128.h"
#include "engine/search/scaled_prices.h"

namespace tariffsieve::search {

// The prices truncated to the working scale (L3), and the lowest scale any
// sum rounds at (L1).
struct Approximation {
    ScaledPrices prices;
    int lowest_rounding_scale = 0;
};

// Nothing when prices of both signs come so near the decimal range that no
// bound holds (L1); prices of one sign whose total overflows abort with
// "Addition overflowed", as the exhaustive search does at once.
std::optional<Approximation> approximate(std::span<const Decimal> prices);

// L4: the integer bound a for candidates whose computed average is at most T.
Int128 average_bound(const Approximation& approx, const Decimal& T);

// L4: the integer bound on a main combination of k periods whose computed cost is at most T.
Int128 cost_bound(const Approximation& approx, const Decimal& T, int k);

}  // namespace tariffsieve::search
