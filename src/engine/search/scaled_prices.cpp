// Prices as exact integers at one scale.
#include "engine/search/scaled_prices.h"

#include <algorithm>

#include "engine/search/decimal_integers.h"

namespace tariffsieve::search {

std::optional<ScaledPrices> exact_scaled_prices(std::span<const Decimal> prices) {
    ScaledPrices scaled;
    std::uint32_t smallest_scale = Decimal::max_scale;
    for (const Decimal& price : prices) {
        if (!price.is_zero()) {
            scaled.scale = std::max(scaled.scale, price.scale());
            smallest_scale = std::min(smallest_scale, price.scale());
        }
    }
    const bool one_scale = smallest_scale >= scaled.scale;  // no non-zero price to bring up
    scaled.value.reserve(prices.size());
    for (const Decimal& price : prices) {
        Int128 exact = mantissa_of(price);  // below 2^96
        if (!one_scale && price.scale() < scaled.scale && !price.is_zero()) {
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
        // Fewer than 2^31 magnitudes below 2^96 each: the total stays inside 128 bits.
        scaled.total_magnitude += exact;
        scaled.value.push_back(price.is_negative() ? -exact : exact);
    }
    if (!(scaled.total_magnitude < largest_mantissa)) {
        return std::nullopt;
    }
    return scaled;
}

}  // namespace tariffsieve::search
