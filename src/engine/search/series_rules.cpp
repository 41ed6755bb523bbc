// The rules in small integers, and the cheap flags.
#include "engine/search/series_rules.h"

#include <algorithm>

namespace tariffsieve::search {

namespace {

// price <= threshold. At one scale (prices usually share the threshold's)
// the order is that of the signed mantissas, read here without a call.
bool at_most(const Decimal& price, const Decimal& threshold) {
    if (price.scale() != threshold.scale()) {
        return price <= threshold;
    }
    const bool price_below_zero = price.is_negative() && !price.is_zero();
    const bool threshold_below_zero = threshold.is_negative() && !threshold.is_zero();
    if (price_below_zero != threshold_below_zero) {
        return price_below_zero;
    }
    const bool smaller_or_equal_magnitude =
        price.hi() != threshold.hi() ? price.hi() < threshold.hi() : price.mid_lo() <= threshold.mid_lo();
    const bool larger_or_equal_magnitude =
        price.hi() != threshold.hi() ? price.hi() > threshold.hi() : price.mid_lo() >= threshold.mid_lo();
    return price_below_zero ? larger_or_equal_magnitude : smaller_or_equal_magnitude;
}

}  // namespace

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
        series.cheap[i] = at_most(prices[i], low_price_threshold) ? 1 : 0;
    }
    return series;
}

}  // namespace tariffsieve::search
