// Prices as exact integers at one scale, and the rules in small integers.
#include "engine/search/integer_series.h"

#include <algorithm>
#include <array>

#include "decimal/abort.h"

namespace tariffsieve::search {

namespace {

constexpr std::array<Int128, Decimal::max_scale + 1> powers_of_ten = [] {
    std::array<Int128, Decimal::max_scale + 1> powers{};
    std::uint64_t hi = 0;
    std::uint64_t lo = 1;
    for (auto& power : powers) {
        power = Int128::from_words(hi, lo);
        // times ten, in 32-bit pieces so that the carry out of lo is exact
        const std::uint64_t lo_low = (lo & 0xFFFFFFFFu) * 10;
        const std::uint64_t lo_high = (lo >> 32) * 10 + (lo_low >> 32);
        lo = (lo_high << 32) | (lo_low & 0xFFFFFFFFu);
        hi = hi * 10 + (lo_high >> 32);
    }
    return powers;
}();

}  // namespace

Int128 mantissa_of(const Decimal& value) { return Int128::from_words(value.hi(), value.mid_lo()); }

Int128 power_of_ten(std::uint32_t exponent) {
    if (exponent > Decimal::max_scale) {
        throw Abort("Power of ten beyond the decimal scales");
    }
    return powers_of_ten[exponent];
}

Digits finest_digits(const Decimal& value) {
    Digits digits{mantissa_of(value), value.scale()};
    const Int128 limit = Int128::from_words(std::uint64_t{1} << 32, 0);  // 2^96
    while (digits.scale < Decimal::max_scale && product_in_range(digits.mantissa, Int128::from_int64(10)) < limit) {
        digits.mantissa = product_in_range(digits.mantissa, Int128::from_int64(10));
        ++digits.scale;
    }
    return digits;
}

Decimal to_decimal(const Int128& value, std::uint32_t scale) {
    const Int128 m = magnitude(value);
    if (!fits_bits(m, 96)) {
        throw Abort("Exact sum left 96 bits");
    }
    return Decimal::from_parts(value.is_negative(), static_cast<std::uint32_t>(m.hi), m.lo, scale);
}

IntegerSeries series_rules(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                           const TimingRules& rules) {
    IntegerSeries series;
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

std::optional<IntegerSeries> integer_series(std::span<const Decimal> prices, IntegerSeries series) {
    const std::size_t n = prices.size();
    series.value.assign(n, Int128{});
    for (const Decimal& price : prices) {
        if (!price.is_zero()) {
            series.scale = std::max(series.scale, price.scale());
        }
    }
    const Int128 largest_total = Int128::from_words(0xFFFFFFFFu, ~std::uint64_t{0});  // 2^96 - 1
    for (std::size_t i = 0; i < n; ++i) {
        const Decimal& price = prices[i];
        if (price.is_zero()) {
            continue;
        }
        const std::optional<Int128> scaled = checked_mul(mantissa_of(price), power_of_ten(series.scale - price.scale()));
        if (!scaled || !fits_bits(*scaled, 96)) {
            return std::nullopt;
        }
        series.total_magnitude += *scaled;
        if (!(series.total_magnitude < largest_total)) {
            return std::nullopt;
        }
        series.value[i] = price.is_negative() ? -*scaled : *scaled;
    }
    return series;
}

}  // namespace tariffsieve::search
