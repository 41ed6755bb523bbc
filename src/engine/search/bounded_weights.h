// The weights of a bound a / b on averages, in 64 or 128 bits: w_i = b * c_i
// - a, so that a candidate averages at most a / b exactly when its weights
// add up to at most zero (claim 3).
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "decimal/abort.h"
#include "engine/int128.h"
#include "engine/search/completion_table.h"
#include "engine/search/integer_series.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

template <typename Int>
Int narrow(const Int128& value) {
    if constexpr (std::is_same_v<Int, Int128>) {
        return value;
    } else {
        return to_int64(value);  // the caller checked that it fits
    }
}

// A bound a / b on averages, in units of 10^-scale, b > 0.
struct Bound {
    Int128 numerator;
    Int128 denominator;
};

// Whether every weight sum of `bound` stays below 2^bits: no sum exceeds
// b * sum|c_i| + n * |a|.
inline bool weights_fit(const IntegerSeries& series, const Bound& bound, unsigned bits) {
    const auto spread = checked_mul(bound.denominator, series.total_magnitude);
    const auto offsets = checked_mul(Int128::from_int64(series.n), magnitude(bound.numerator));
    return spread && offsets && fits_bits(*spread, 124) && fits_bits(*offsets, 124) &&
           fits_bits(*spread + *offsets, bits);
}

template <typename Int>
Weights<Int> weights_for(const IntegerSeries& series, const Bound& bound, bool with_groups) {
    if (!weights_fit(series, bound, Unreachable<Int>::real_bits)) {
        throw Abort("Exact search weights outgrew their width");
    }
    std::vector<Int> of_period(series.n);
    for (int i = 0; i < series.n; ++i) {
        const auto scaled = checked_mul(series.value[i], bound.denominator);
        if (!scaled) {
            throw Abort("Exact search weights outgrew their width");
        }
        of_period[i] = narrow<Int>(*scaled - bound.numerator);
    }
    return make_weights(series, std::move(of_period), with_groups);
}

}  // namespace tariffsieve::search
