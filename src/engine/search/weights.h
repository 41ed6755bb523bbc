// Per-period weights of one bound and, derived from them, the weight of the
// best admissible cheap runs in any gap between two periods of a main
// combination, in constant time (claims 3 and 4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "engine/search/scaled_prices.h"
#include "engine/search/series_rules.h"
#include "engine/search/weight_width.h"

namespace tariffsieve::search {

template <typename Int>
Int min_with_zero(const Int& value) {
    return value < Int{} ? value : Int{};
}

// Positions run from -1 (before the first period) to n (after the last); a
// gap (p, q) is the periods strictly between two consecutive periods p < q of
// a main combination, p = -1 for the gap before it and q = n for the one after.
template <typename Int>
struct Weights {
    std::span<Int> of_period;      // w_i
    std::span<Int> prefix;         // prefix[x + 1] = w_0 + ... + w_x
    std::span<int> plain_after;    // [p + 1]: the first period after p that is not cheap, or n
    std::span<int> plain_before;   // [q]: the last period before q that is not cheap, or -1
    std::span<Int> runs_before;    // [x]: the admissible weight of the whole cheap runs ending before x
    std::span<Int> left;           // [p + 1]: the run that starts right after p and stops before a plain period
    std::span<Int> right;          // [q]: the run that ends right before q and starts after a plain period
    std::span<int> run_bounds;     // the cheap runs (none without groups), first and last period of each in turn
    int plain_periods_of = -1;     // with_groups (0 or 1) when the plain periods and runs were made, else -1
    // The arrays above live in one buffer of bytes, the values first: one
    // allocation a call, however many bounds it weighs. Every cell is written
    // before it is read, so the buffer starts unset (clearing it would cost
    // more than the rest).
    std::unique_ptr<std::byte[]> buffer;
    std::size_t cells = 0;  // n + 1, once laid out

    Weights() = default;
    Weights(const Weights&) = delete;  // the spans point into this object's own buffers
    Weights& operator=(const Weights&) = delete;

    Int sum(int first, int last) const { return prefix[last + 1] - prefix[first]; }

    // The best weight of the cheap runs strictly between p and q (claim 4).
    Int gap(int p, int q) const {
        const int plain = plain_after[p + 1];
        if (q <= plain) {
            // The whole gap is one cheap run (or empty); it touches the main combination.
            return min_with_zero(prefix[q] - prefix[p + 1]);
        }
        return left[p + 1] - runs_before[plain] + runs_before[plain_before[q]] + right[q];
    }
};

// Makes `w` the weights w_i = b * c_i - a of the bound a / b, reusing its
// buffers (and the plain periods, which no bound changes); without groups no
// cheap run counts (conservative). Aborts when a
// weight sum could leave the width (the caller picked it with weights_fit).
template <typename Int>
void set_weights(Weights<Int>& w, const SeriesRules& rules, const ScaledPrices& prices, const Fraction& bound,
                 bool with_groups);

extern template void set_weights(Weights<std::int64_t>&, const SeriesRules&, const ScaledPrices&, const Fraction&, bool);
extern template void set_weights(Weights<Int128>&, const SeriesRules&, const ScaledPrices&, const Fraction&, bool);

}  // namespace tariffsieve::search
