// Prices as exact integers at one scale.
#include "engine/search/scaled_prices.h"

#include <algorithm>

#include "engine/search/decimal_integers.h"

namespace tariffsieve::search {

namespace {

// The total magnitude's limit (claim 1). Fewer than 2^31 magnitudes below
// 2^96 each: the total itself stays inside 128 bits.
std::optional<ScaledPrices> within_limit(ScaledPrices&& scaled) {
    if (!(scaled.total_magnitude < largest_mantissa)) {
        return std::nullopt;
    }
    return std::move(scaled);
}

// Prices of several scales, each brought up to the largest.
std::optional<ScaledPrices> at_largest_scale(std::span<const Decimal> prices) {
    ScaledPrices scaled;
    for (const Decimal& price : prices) {
        if (!price.is_zero()) {
            scaled.scale = std::max(scaled.scale, price.scale());
        }
    }
    scaled.value.reserve(prices.size());
    for (const Decimal& price : prices) {
        Int128 exact = mantissa_of(price);  // below 2^96
        if (price.scale() < scaled.scale && !price.is_zero()) {
            const std::uint32_t shift = scaled.scale - price.scale();
            if (shift <= 9) {
                exact = times_small(exact, power_of_ten(shift).lo);  // below 2^96 * 10^9
            } else if (const std::optional<Int128> product = checked_mul(exact, power_of_ten(shift))) {
                exact = *product;
            } else {
                return std::nullopt;
            }
            if (!fits_bits(exact, 96)) {
                return std::nullopt;
            }
        }
        scaled.total_magnitude += exact;
        scaled.value.push_back(price.is_negative() ? -exact : exact);
    }
    return within_limit(std::move(scaled));
}

}  // namespace

std::optional<ScaledPrices> exact_scaled_prices(std::span<const Decimal> prices) {
    // Prices usually share one scale: read them in one pass at the first
    // non-zero price's scale, and start again when another scale turns up.
    ScaledPrices scaled;
    std::size_t first_non_zero = 0;
    while (first_non_zero < prices.size() && prices[first_non_zero].is_zero()) {
        ++first_non_zero;
    }
    scaled.scale = first_non_zero < prices.size() ? prices[first_non_zero].scale() : 0;
    scaled.value.reserve(prices.size());
    for (const Decimal& price : prices) {
        if (price.scale() != scaled.scale && !price.is_zero()) {
            return at_largest_scale(prices);
        }
        const Int128 exact = mantissa_of(price);
        scaled.total_magnitude += exact;
        scaled.value.push_back(price.is_negative() ? -exact : exact);
    }
    return within_limit(std::move(scaled));
}

}  // namespace tariffsieve::search
