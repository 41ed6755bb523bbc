// The weights of a bound, and the cheap runs they give each gap.
#include "engine/search/weights.h"

#include <algorithm>
#include <cstddef>

#include "decimal/abort.h"

namespace tariffsieve::search {

namespace {

// w_i = b * c_i - a and their prefix sums, in the width Int; b * c_i fits it
// (weights_fit).
template <typename Int>
void set_period_weights(Weights<Int>& w, const ScaledPrices& prices, const Fraction& bound) {
    const std::size_t n = prices.value.size();
    const Int128* const value = prices.value.data();
    Int* const of_period = w.of_period.data();
    Int* const prefix = w.prefix.data();
    prefix[0] = Int{};
    if constexpr (std::is_same_v<Int, std::int64_t>) {
        const std::int64_t b = to_int64(bound.denominator);
        const std::int64_t a = to_int64(bound.numerator);
        Int sum{};
        for (std::size_t i = 0; i < n; ++i) {
            // b >= 1 and b * |c_i| < 2^56: c_i is its low word
            const std::int64_t weight = b * static_cast<std::int64_t>(value[i].lo) - a;
            of_period[i] = weight;
            sum += weight;
            prefix[i + 1] = sum;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            of_period[i] = product_in_range(value[i], bound.denominator) - bound.numerator;
            prefix[i + 1] = prefix[i] + of_period[i];
        }
    }
}

// Where the plain (not cheap) periods are, and the cheap runs; with no groups
// every period is plain.
template <typename Int>
void set_plain_periods(Weights<Int>& w, const SeriesRules& rules, bool with_groups) {
    const int n = rules.n;
    int* const plain_after = w.plain_after.data();
    int* const plain_before = w.plain_before.data();
    int* const stretch_from = w.plain_stretch_from.data();
    if (!with_groups) {
        for (int x = 0; x <= n; ++x) {
            plain_after[x] = x;
            plain_before[x] = x - 1;
            stretch_from[x] = 0;
        }
        w.run_bounds = w.run_bounds.first(0);
        return;
    }
    const std::uint8_t* const cheap = rules.cheap.data();
    int next_plain = n;
    for (int x = n; x-- > 0;) {
        plain_after[x + 1] = next_plain;
        next_plain = cheap[x] != 0 ? next_plain : x;
    }
    plain_after[0] = next_plain;
    std::size_t bounds = 0;
    int last_plain = -1;
    for (int q = 0; q < n; ++q) {
        plain_before[q] = last_plain;
        stretch_from[q] = q > 0 && last_plain == q - 1 ? stretch_from[q - 1] : q;
        if (cheap[q] == 0) {
            last_plain = q;
        } else if (last_plain == q - 1) {  // a run starts at q and ends before the next plain period
            w.run_bounds[bounds++] = q;
            w.run_bounds[bounds++] = plain_after[q] - 1;
        }
    }
    plain_before[n] = last_plain;
    stretch_from[n] = last_plain == n - 1 ? stretch_from[n - 1] : n;
    w.run_bounds = w.run_bounds.first(bounds);
}

// The cheap runs' weights, every cell of them, run by run (claim 4): whole
// runs, and the runs next to a period. Cells away from the runs are zero.
template <typename Int>
void set_run_weights(Weights<Int>& w, const SeriesRules& rules) {
    const int n = rules.n;
    const int c = rules.min_block;
    const Int* const prefix = w.prefix.data();
    Int* const runs_before = w.runs_before.data();
    Int* const left = w.gap_from.data();  // first the run after p, then the term in p
    Int* const right = w.gap_to.data();   // first the run before q, then the term in q
    Int whole_runs{};
    int x = 0;  // the cells below x are made
    for (std::size_t j = 0; j < w.run_bounds.size(); j += 2) {
        const int first = w.run_bounds[j];
        const int last = w.run_bounds[j + 1];
        for (; x < first; ++x) {
            runs_before[x] = whole_runs;
            left[x] = Int{};
            right[x] = Int{};
        }
        // After p, the run from p + 1 touches p; before the first period it
        // touches nothing and must be long enough itself. The run that ends
        // before q touches q, or for q = n ends at the last period: admissible
        // either way.
        const Int total = prefix[last + 1] - prefix[first];
        for (int y = first; y <= last; ++y) {
            runs_before[y] = whole_runs;
            left[y] = min_with_zero(prefix[last + 1] - prefix[y]);
            right[y] = min_with_zero(prefix[y] - prefix[first]);
        }
        if (first == 0 && last + 1 < c) {
            left[0] = Int{};
        }
        // A whole run inside a gap touches nothing: it counts when it is long enough.
        if (last - first + 1 >= c) {
            whole_runs += min_with_zero(total);
        }
        runs_before[last + 1] = whole_runs;
        left[last + 1] = Int{};
        right[last + 1] = min_with_zero(total);
        x = last + 2;
    }
    for (; x <= n; ++x) {
        runs_before[x] = whole_runs;
        left[x] = Int{};
        right[x] = Int{};
    }
    // The gap's two terms (claim 4).
    const int* const plain_after = w.plain_after.data();
    const int* const plain_before = w.plain_before.data();
    for (x = 0; x <= n; ++x) {
        left[x] = left[x] - runs_before[plain_after[x]];
        right[x] = plain_before[x] >= 0 ? runs_before[plain_before[x]] + right[x] : Int{};
    }
}

// Lays the arrays out in the two buffers, once for a series of n periods.
template <typename Int>
void lay_out(Weights<Int>& w, int n) {
    const std::size_t cells = static_cast<std::size_t>(n) + 1;
    if (w.values.size() == 5 * cells) {
        return;
    }
    w.values.resize_for_overwrite(5 * cells);
    Int* const values = w.values.data();
    w.of_period = {values, cells - 1};
    w.prefix = {values + cells, cells};
    w.gap_from = {values + 2 * cells, cells};
    w.gap_to = {values + 3 * cells, cells};
    w.runs_before = {values + 4 * cells, cells};
    w.positions.resize_for_overwrite(4 * cells);
    int* const positions = w.positions.data();
    w.plain_after = {positions, cells};
    w.plain_before = {positions + cells, cells};
    w.plain_stretch_from = {positions + 2 * cells, cells};
    w.run_bounds = {positions + 3 * cells, cells};
    w.plain_periods_of = -1;
}

}  // namespace

template <typename Int>
void set_weights(Weights<Int>& w, const SeriesRules& rules, const ScaledPrices& prices, const Fraction& bound,
                 bool with_groups) {
    if (!weights_fit(prices, bound, WeightWidth<Int>::real_bits)) {
        throw Abort("Exact search weights outgrew their width");
    }
    lay_out(w, rules.n);
    set_period_weights(w, prices, bound);
    const bool new_plain_periods = w.plain_periods_of != static_cast<int>(with_groups);
    if (new_plain_periods) {
        const std::size_t cells = w.plain_after.size();
        w.run_bounds = {w.positions.data() + 3 * cells, cells};  // the whole room, before the runs are counted
        set_plain_periods(w, rules, with_groups);
        w.plain_periods_of = static_cast<int>(with_groups);
    }
    // Without groups no run counts: the runs' cells stay zero once made.
    if (with_groups || new_plain_periods) {
        set_run_weights(w, rules);
    }
}

template void set_weights(Weights<std::int64_t>&, const SeriesRules&, const ScaledPrices&, const Fraction&, bool);
template void set_weights(Weights<Int128>&, const SeriesRules&, const ScaledPrices&, const Fraction&, bool);

}  // namespace tariffsieve::search
