// The smallest exact average of the candidates of a size, by Dinkelbach's
// iteration (claim 9).
#pragma once

#include <cstdint>

#include "engine/search/completion_table.h"
#include "engine/search/scaled_prices.h"
#include "engine/search/series_rules.h"
#include "engine/search/weight_width.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

// A as its exact cost and count; leaves in `w` and `table` the weights of A
// and their table, whose start is zero. The buffers are reused every round.
template <typename Int>
Fraction smallest_average(const SeriesRules& rules, const ScaledPrices& prices, int size, Weights<Int>& w,
                          CompletionTable<Int>& table);

extern template Fraction smallest_average(const SeriesRules&, const ScaledPrices&, int, Weights<std::int64_t>&,
                                          CompletionTable<std::int64_t>&);
extern template Fraction smallest_average(const SeriesRules&, const ScaledPrices&, int, Weights<Int128>&,
                                          CompletionTable<Int128>&);

}  // namespace tariffsieve::search
