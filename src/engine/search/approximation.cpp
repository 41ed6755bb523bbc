// Prices truncated to a working scale, and the bounds on rounded sums.
#include "engine/search/approximation.h"

#include <algorithm>
#include <cstdint>

#include "engine/search/decimal_integers.h"

namespace tariffsieve::search {

namespace {

// |value| / 10^exponent, rounded towards zero, and whether anything was cut.
struct Quotient {
    Int128 value;
    bool inexact = false;
};

Quotient divide_by_power_of_ten(const Int128& magnitude_value, std::uint32_t exponent) {
    std::uint32_t words[4] = {static_cast<std::uint32_t>(magnitude_value.lo),
                              static_cast<std::uint32_t>(magnitude_value.lo >> 32),
                              static_cast<std::uint32_t>(magnitude_value.hi),
                              static_cast<std::uint32_t>(magnitude_value.hi >> 32)};
    bool inexact = false;
    for (std::uint32_t step = 0; step < exponent; ++step) {
        std::uint64_t remainder = 0;
        for (int i = 3; i >= 0; --i) {
            const std::uint64_t current = (remainder << 32) | words[i];
            words[i] = static_cast<std::uint32_t>(current / 10);
            remainder = current % 10;
        }
        inexact = inexact || remainder != 0;
    }
    return {Int128::from_words((std::uint64_t{words[3]} << 32) | words[2], (std::uint64_t{words[1]} << 32) | words[0]),
            inexact};
}

// The mantissa times 10^exponent, with the value's sign, truncated towards
// zero; nothing when it reaches 2^120.
std::optional<Int128> truncated_scaled(const Decimal& value, int exponent) {
    const Int128 m = mantissa_of(value);
    Int128 scaled;
    if (exponent >= 0) {
        const std::optional<Int128> product = checked_mul(m, power_of_ten(static_cast<std::uint32_t>(exponent)));
        if (!product || !fits_bits(*product, 120)) {
            return std::nullopt;
        }
        scaled = *product;
    } else {
        scaled = divide_by_power_of_ten(m, static_cast<std::uint32_t>(-exponent)).value;
    }
    return value.is_negative() ? -scaled : scaled;
}

// ceil(mantissa * 10^exponent) with the value's sign, below 2^120 in magnitude.
Int128 ceil_scaled(const Decimal& value, int exponent) {
    if (exponent >= 0) {
        const Int128 scaled = product_in_range(mantissa_of(value), power_of_ten(static_cast<std::uint32_t>(exponent)));
        return value.is_negative() ? -scaled : scaled;
    }
    const Quotient q = divide_by_power_of_ten(mantissa_of(value), static_cast<std::uint32_t>(-exponent));
    if (value.is_negative()) {
        return -q.value;  // towards zero is up
    }
    return q.inexact ? q.value + Int128::from_int64(1) : q.value;
}

// ceil(count * 10^exponent) for a small count >= 0.
Int128 ceil_units(std::int64_t count, int exponent) {
    if (exponent >= 0) {
        return product_in_range(Int128::from_int64(count), power_of_ten(static_cast<std::uint32_t>(exponent)));
    }
    const Quotient q = divide_by_power_of_ten(Int128::from_int64(count), static_cast<std::uint32_t>(-exponent));
    return q.inexact ? q.value + Int128::from_int64(1) : q.value;
}

// Whole units, rounded up, of the positive and of the negative prices, each
// with room for n rounding errors of at most half a unit, and the largest
// scale among the non-zero prices (L1).
struct SignTotals {
    Int128 positive;
    Int128 negative;
    std::uint32_t finest_scale = 0;
};

SignTotals sign_totals(std::span<const Decimal> prices) {
    SignTotals totals;
    for (const Decimal& price : prices) {
        const Int128 whole = ceil_scaled(price, -static_cast<int>(price.scale()));
        if (price.is_negative()) {
            totals.negative += -whole + Int128::from_int64(1);
        } else {
            totals.positive += whole;
        }
        if (!price.is_zero()) {
            totals.finest_scale = std::max(totals.finest_scale, price.scale());
        }
    }
    return totals;
}

// Prices of one sign: every sum is at most the total in magnitude, and the
// exhaustive search adds up the total before anything else. When that
// overflows, so does the exhaustive search, at once.
void overflow_as_the_exhaustive_search(std::span<const Decimal> prices, const SignTotals& totals) {
    if (totals.positive.is_zero() || totals.negative.is_zero()) {
        Decimal total = Decimal::zero();
        for (const Decimal& price : prices) {
            total += price;  // throws Abort("Addition overflowed"), as the exhaustive search does
        }
    }
}

// The largest scale t at which `largest` * 10^t stays below 2^96 (L1).
int lowest_rounding_scale(const Int128& largest) {
    for (int t = Decimal::max_scale; t > 0; --t) {
        const std::optional<Int128> reach = checked_mul(largest, power_of_ten(static_cast<std::uint32_t>(t)));
        if (reach && *reach < two_to_96) {
            return t;
        }
    }
    return 0;
}

// L3: every price truncated at the finest working scale, from `finest` down,
// at which the integers stay below 2^104 in all. At scale 0 every value is
// below 2^96 and the total below 2^97 (L1).
ScaledPrices truncated_prices(std::span<const Decimal> prices, std::uint32_t finest) {
    ScaledPrices truncated;
    for (int working = static_cast<int>(finest);; --working) {
        truncated.value.assign(prices.size(), Int128{});
        truncated.total_magnitude = Int128{};
        bool fits = true;
        for (std::size_t i = 0; i < prices.size() && fits; ++i) {
            const std::optional<Int128> value = truncated_scaled(prices[i], working - static_cast<int>(prices[i].scale()));
            fits = value.has_value();
            if (fits) {
                truncated.value[i] = *value;
                truncated.total_magnitude += magnitude(*value);
                fits = fits_bits(truncated.total_magnitude, 104);
            }
        }
        if (fits || working == 0) {
            truncated.scale = static_cast<std::uint32_t>(working);
            return truncated;
        }
    }
}

}  // namespace

std::optional<Approximation> approximate(std::span<const Decimal> prices) {
    const SignTotals totals = sign_totals(prices);
    const Int128 largest = std::max(totals.positive, totals.negative) + Int128::from_int64(static_cast<std::int64_t>(prices.size()));
    if (!(largest < largest_mantissa)) {
        overflow_as_the_exhaustive_search(prices, totals);
        return std::nullopt;
    }
    return Approximation{truncated_prices(prices, totals.finest_scale), lowest_rounding_scale(largest)};
}

Int128 average_bound(const Approximation& approx, const Decimal& T) {
    const int w = static_cast<int>(approx.prices.scale);
    const int d = static_cast<int>(finest_digits(T).scale);
    return ceil_scaled(T, w - static_cast<int>(T.scale())) + ceil_units(10, w - d) +
           ceil_units(5, w - approx.lowest_rounding_scale - 1) + Int128::from_int64(1);
}

Int128 cost_bound(const Approximation& approx, const Decimal& T, int k) {
    const int w = static_cast<int>(approx.prices.scale);
    return ceil_scaled(T, w - static_cast<int>(T.scale())) + ceil_units(k, w - approx.lowest_rounding_scale) +
           Int128::from_int64(k);
}

}  // namespace tariffsieve::search
