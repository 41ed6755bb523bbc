// The door of the literal model: the trivial answers, then a strategy.
#include "engine/reference/cheapest_periods.h"

#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "engine/reference/priced_period.h"
#include "engine/reference/strategies.h"

namespace tariffsieve::reference {

SelectionResult cheapest_periods(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                 const TimingRules& rules, bool aggressive) {
    const std::uint64_t n = prices.size();
    std::vector<PricedPeriod> all_periods;
    all_periods.reserve(n);
    std::vector<PricedPeriod> cheap_items;
    for (std::uint64_t i = 0; i < n; ++i) {
        all_periods.push_back({i, prices[i]});
        if (prices[i] <= low_price_threshold) {
            cheap_items.push_back(all_periods.back());
        }
    }
    // Every period must, or may, be selected: no timing rule is consulted.
    if (rules.min_selections == n || cheap_items.size() == n) {
        IndexList every(n);
        std::iota(every.begin(), every.end(), std::uint64_t{0});
        return SelectionResult::success(std::move(every));
    }
    return aggressive ? get_cheapest_periods_aggressive(all_periods, cheap_items, rules)
                      : get_cheapest_periods_conservative(all_periods, cheap_items, rules);
}

}  // namespace tariffsieve::reference
