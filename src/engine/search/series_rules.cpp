// The rules in small integers, and the cheap flags.
#include "engine/search/series_rules.h"

#include <algorithm>

#include "engine/search/decimal_integers.h"

namespace tariffsieve::search {

namespace {

// A decimal's mantissa with its sign: the order of decimals of one scale.
Int128 signed_mantissa(const Decimal& value) {
    const Int128 mantissa = mantissa_of(value);
    return value.is_negative() ? -mantissa : mantissa;
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
    std::uint8_t* const cheap = series.cheap.data();
    if (low_price_threshold.is_zero()) {  // at most zero, whatever the scales
        for (std::size_t i = 0; i < n; ++i) {
            cheap[i] = prices[i].is_negative() || prices[i].is_zero() ? 1 : 0;
        }
        return series;
    }
    // Prices usually share the threshold's scale, where the signed mantissas
    // order them without a call.
    const std::uint32_t scale = low_price_threshold.scale();
    const Int128 threshold = signed_mantissa(low_price_threshold);
    for (std::size_t i = 0; i < n; ++i) {
        const Decimal& price = prices[i];
        const bool at_most_threshold =
            price.scale() == scale ? !(threshold < signed_mantissa(price)) : price <= low_price_threshold;
        cheap[i] = at_most_threshold ? 1 : 0;
    }
    return series;
}

}  // namespace tariffsieve::search
