// The two widths the searches add weights in, and the one place that picks
// between them: 64 bits for everyday prices, 128 bits beyond.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/search/int128.h"
#include "engine/search/scaled_prices.h"

namespace tariffsieve::search {

// A fraction of two integers: a bound a / b on averages (b > 0), in units of
// the prices' scale, or an average itself as its cost and count.
struct Fraction {
    Int128 numerator;
    Int128 denominator;
};

// The facts of one width. Every real weight sum stays below 2^real_bits (the
// caller checks with weights_fit), a quarter of `floor`, so a sum that holds
// `unreachable`, the value that stands for "no completion", stays at or above
// `floor`.
template <typename Int>
struct WeightWidth;
template <>
struct WeightWidth<std::int64_t> {
    static constexpr std::int64_t unreachable = std::int64_t{1} << 60;
    static constexpr std::int64_t floor = std::int64_t{1} << 59;
    static constexpr unsigned real_bits = 56;
};
template <>
struct WeightWidth<Int128> {
    static constexpr Int128 unreachable = Int128::from_words(std::uint64_t{1} << 62, 0);  // 2^126
    static constexpr Int128 floor = Int128::from_words(std::uint64_t{1} << 61, 0);
    static constexpr unsigned real_bits = 122;
};

template <typename Int>
bool reachable(const Int& value) {
    return value < WeightWidth<Int>::floor;
}

template <typename Int>
Int narrow(const Int128& value) {
    if constexpr (std::is_same_v<Int, Int128>) {
        return value;
    } else {
        return to_int64(value);  // the caller checked that it fits
    }
}

// Whether every weight sum of `bound` stays below 2^bits: no sum exceeds
// b * sum|c_i| + n * |a|.
inline bool weights_fit(const ScaledPrices& prices, const Fraction& bound, unsigned bits) {
    constexpr std::uint64_t small = std::uint64_t{1} << 30;
    if (bound.denominator.hi == 0 && bound.denominator.lo < small && prices.value.size() < small &&
        fits_bits(bound.numerator, 96)) {
        // An average's cost and count, as in every round: both products stay below 2^126.
        const Int128 spread = times_small(prices.total_magnitude, bound.denominator.lo);
        const Int128 offsets = times_small(magnitude(bound.numerator), prices.value.size());
        return fits_bits(spread + offsets, bits);
    }
    const auto spread = checked_mul(bound.denominator, prices.total_magnitude);
    const auto offsets =
        checked_mul(Int128::from_int64(static_cast<std::int64_t>(prices.value.size())), magnitude(bound.numerator));
    return spread && offsets && fits_bits(*spread, 124) && fits_bits(*offsets, 124) &&
           fits_bits(*spread + *offsets, bits);
}

// Search<std::int64_t>::run(args...) when every weight sum of `widest` fits
// 64 bits, else Search<Int128>::run(args...).
template <template <typename> class Search, typename... Args>
auto at_weight_width(const ScaledPrices& prices, const Fraction& widest, Args&&... args) {
    if (weights_fit(prices, widest, WeightWidth<std::int64_t>::real_bits)) {
        return Search<std::int64_t>::run(std::forward<Args>(args)...);
    }
    return Search<Int128>::run(std::forward<Args>(args)...);
}

}  // namespace tariffsieve::search
