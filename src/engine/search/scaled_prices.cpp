// Prices as exact integers at one scale.
#include "engine/search/scaled_prices.h"

#include <algorithm>

#include "engine/search/decimal_integers.h"

namespace tariffsieve::search {

std::optional<ScaledPrices> exact_scaled_prices(std::span<const Decimal> prices) {
    ScaledPrices scaled;
    scaled.value.assign(prices.size(), Int128{});
    for (const Decimal& price : prices) {
        if (!price.is_zero()) {
            scaled.scale = std::max(scaled.scale, price.scale());
        }
    }
    for (std::size_t i = 0; i < prices.size(); ++i) {
        const Decimal& price = prices[i];
        if (price.is_zero()) {
            continue;
        }
        const Int128 mantissa = mantissa_of(price);
        const std::optional<Int128> exact = price.scale() == scaled.scale
                                                ? std::optional<Int128>(mantissa)
                                                : checked_mul(mantissa, power_of_ten(scaled.scale - price.scale()));
        if (!exact || !fits_bits(*exact, 96)) {
            return std::nullopt;
        }
        scaled.total_magnitude += *exact;
        if (!(scaled.total_magnitude < largest_mantissa)) {
            return std::nullopt;
        }
        scaled.value[i] = price.is_negative() ? -*exact : *exact;
    }
    return scaled;
}

}  // namespace tariffsieve::search
