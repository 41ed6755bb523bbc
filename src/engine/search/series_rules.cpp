// The rules in small integers, and the cheap flags.
#include "engine/search/series_rules.h"

#include <algorithm>

namespace tariffsieve::search {

SeriesRules series_rules(std::span<const Decimal> prices, const Decimal& low_price_threshold, const TimingRules& rules) {
    SeriesRules series;
    const std::uint64_t n = prices.size();
    series.n = static_cast<int>(n);
    series.min_block = static_cast<int>(rules.min_consecutive_periods);
    series.min_size = static_cast<int>(rules.min_selections);
    series.max_gap = static_cast<int>(std::min(rules.max_gap_between_periods, n));
    series.max_start = static_cast<int>(std::min({rules.max_gap_from_start, rules.max_gap_between_periods, n}));
    series.cheap.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        series.cheap[i] = prices[i] <= low_price_threshold ? 1 : 0;
    }
    return series;
}

}  // namespace tariffsieve::search
