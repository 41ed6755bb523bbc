// Prices as integers at one common scale: exact ones for the exact search,
// truncated ones for the literal search.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "decimal/decimal.h"
#include "engine/search/int128.h"

namespace tariffsieve::search {

struct ScaledPrices {
    std::uint32_t scale = 0;    // units of 10^-scale
    std::vector<Int128> value;  // one per period, below 2^120 in magnitude
    Int128 total_magnitude;     // the sum of every |value|
};

// Every price * 10^s exactly, s the largest scale among the non-zero prices;
// nothing when some sum of prices could round, that is when the total
// magnitude reaches 2^96 - 1 (claim 1).
std::optional<ScaledPrices> exact_scaled_prices(std::span<const Decimal> prices);

}  // namespace tariffsieve::search
