// The door of the one exact search: the answer's size once, then the exact
// or the literal search.
#include "engine/search/cheapest_periods.h"

#include "engine/search/answer_size.h"
#include "engine/search/exact_search.h"
#include "engine/search/literal_search.h"
#include "engine/search/scaled_prices.h"

namespace tariffsieve::search {

std::optional<SelectionResult> cheapest_periods(std::span<const Decimal> prices, const SeriesRules& rules,
                                                bool aggressive) {
    const int size = answer_size(rules);
    if (const std::optional<ScaledPrices> exact = exact_scaled_prices(prices)) {
        return exact_search(rules, *exact, size, aggressive);
    }
    // Sums could round: their literal values, for the near-ties only.
    return literal_search(prices, rules, size, aggressive);
}

}  // namespace tariffsieve::search
