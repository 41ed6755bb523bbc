// Per-period weights of one bound and, derived from them, the weight of the
// best admissible cheap runs in any gap between two periods of a main
// combination, in constant time (claims 3 and 4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/search/scaled_prices.h"
#include "engine/search/scratch_array.h"
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
    std::span<int> plain_stretch_from;  // [x], x plain: the first period of the stretch of plain periods x is in
    std::span<int> run_bounds;     // the cheap runs (none without groups), first and last period of each in turn
    // The weight of a gap (p, q) that holds a plain period is a term in p
    // and a term in q (claim 4): the run after p less the whole runs up to
    // the first plain period, then the whole runs up to the last plain period
    // and the run before q.
    std::span<Int> gap_from;       // [p + 1]: the term in p
    std::span<Int> gap_to;         // [q]: the term in q (zero where no plain period lies before q)
    std::span<Int> runs_before;    // [x]: the admissible weight of the whole cheap runs ending before x
    int plain_periods_of = -1;     // with_groups (0 or 1) when the plain periods and runs were made, else -1
    // The arrays above live in two buffers: two allocations a call, however
    // many bounds it weighs. Every cell is written before it is read.
    ScratchArray<Int> values;
    ScratchArray<int> positions;

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
        return gap_from[p + 1] + gap_to[q];
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
