// The rules in small integers, and the cheap flags.
#include "engine/search/series_rules.h"

#include <algorithm>

namespace tariffsieve::search {

namespace {

// A decimal's sign and mantissa, which order decimals of one scale.
struct SignedMantissa {
    bool below_zero;
    std::uint32_t hi;
    std::uint64_t mid_lo;
};

SignedMantissa signed_mantissa(const Decimal& value) {
    return {value.is_negative() && !value.is_zero(), value.hi(), value.mid_lo()};
}

// x <= y for two decimals of one scale.
bool at_most(const SignedMantissa& x, const SignedMantissa& y) {
    if (x.below_zero != y.below_zero) {
        return x.below_zero;
    }
    const bool smaller_or_equal = x.hi != y.hi ? x.hi < y.hi : x.mid_lo <= y.mid_lo;
    const bool larger_or_equal = x.hi != y.hi ? x.hi > y.hi : x.mid_lo >= y.mid_lo;
    return x.below_zero ? larger_or_equal : smaller_or_equal;
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
    const SignedMantissa threshold = signed_mantissa(low_price_threshold);
    for (std::size_t i = 0; i < n; ++i) {
        const Decimal& price = prices[i];
        const bool at_most_threshold =
            price.scale() == scale ? at_most(signed_mantissa(price), threshold) : price <= low_price_threshold;
        cheap[i] = at_most_threshold ? 1 : 0;
    }
    return series;
}

}  // namespace tariffsieve::search
