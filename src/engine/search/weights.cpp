// The weights of a bound, and the cheap runs they give each gap.
#include "engine/search/weights.h"

#include <algorithm>

#include "decimal/abort.h"

namespace tariffsieve::search {

namespace {

// w_i = b * c_i - a, in the width Int; b * c_i fits it (weights_fit).
template <typename Int>
void set_period_weights(std::span<Int> of_period, const ScaledPrices& prices, const Fraction& bound) {
    const std::size_t n = prices.value.size();
    if constexpr (std::is_same_v<Int, std::int64_t>) {
        const std::int64_t b = to_int64(bound.denominator);
        const std::int64_t a = to_int64(bound.numerator);
        for (std::size_t i = 0; i < n; ++i) {
            of_period[i] = b * to_int64(prices.value[i]) - a;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            of_period[i] = product_in_range(prices.value[i], bound.denominator) - bound.numerator;
        }
    }
}

// Where the plain (not cheap) periods are; with no groups every period is plain.
template <typename Int>
void set_plain_periods(Weights<Int>& w, const SeriesRules& rules, bool with_groups) {
    const int n = rules.n;
    auto cheap = [&](int i) { return with_groups && rules.cheap[i] != 0; };
    std::fill(w.plain_after.begin(), w.plain_after.end(), n);
    for (int p = n - 2; p >= -1; --p) {
        w.plain_after[p + 1] = cheap(p + 1) ? w.plain_after[p + 2] : p + 1;
    }
    std::fill(w.plain_before.begin(), w.plain_before.end(), -1);
    for (int q = 1; q <= n; ++q) {
        w.plain_before[q] = cheap(q - 1) ? w.plain_before[q - 1] : q - 1;
    }
}

// The cheap runs' weights: whole runs, and the runs next to a period (claim 4).
template <typename Int>
void set_run_weights(Weights<Int>& w, const SeriesRules& rules) {
    const int n = rules.n;
    const int c = rules.min_block;
    // A whole run inside a gap touches nothing: it counts when it is long enough.
    w.runs_before[0] = Int{};
    for (int x = 0; x < n; ++x) {
        Int value{};
        if (rules.cheap[x] != 0 && (x + 1 == n || rules.cheap[x + 1] == 0)) {
            const int first = w.plain_before[x + 1] + 1;
            if (x - first + 1 >= c) {
                value = min_with_zero(w.sum(first, x));
            }
        }
        w.runs_before[x + 1] = w.runs_before[x] + value;
    }
    std::fill(w.left.begin(), w.left.end(), Int{});
    for (int p = -1; p < n; ++p) {
        const int plain = w.plain_after[p + 1];
        // Before the first period the run touches nothing; after p it touches p.
        const bool admissible = p >= 0 || plain >= c;
        if (plain > p + 1 && admissible) {
            w.left[p + 1] = min_with_zero(w.sum(p + 1, plain - 1));
        }
    }
    std::fill(w.right.begin(), w.right.end(), Int{});
    for (int q = 0; q <= n; ++q) {
        // It touches q, or for q = n ends at the last period: admissible either way.
        const int plain = w.plain_before[q];
        if (plain < q - 1) {
            w.right[q] = min_with_zero(w.sum(plain + 1, q - 1));
        }
    }
}

// Lays the arrays out in the two buffers, once for a series of n periods.
template <typename Int>
void lay_out(Weights<Int>& w, int n) {
    const std::size_t cells = static_cast<std::size_t>(n) + 1;
    if (w.value_buffer.size() == 5 * cells) {
        return;
    }
    w.value_buffer.assign(5 * cells, Int{});
    Int* values = w.value_buffer.data();
    w.of_period = {values, cells - 1};
    w.prefix = {values + cells, cells};
    w.runs_before = {values + 2 * cells, cells};
    w.left = {values + 3 * cells, cells};
    w.right = {values + 4 * cells, cells};
    w.position_buffer.assign(2 * cells, 0);
    w.plain_after = {w.position_buffer.data(), cells};
    w.plain_before = {w.position_buffer.data() + cells, cells};
    w.plain_periods_of = -1;
}

}  // namespace

template <typename Int>
void set_weights(Weights<Int>& w, const SeriesRules& rules, const ScaledPrices& prices, const Fraction& bound,
                 bool with_groups) {
    if (!weights_fit(prices, bound, WeightWidth<Int>::real_bits)) {
        throw Abort("Exact search weights outgrew their width");
    }
    const int n = rules.n;
    lay_out(w, n);
    set_period_weights(w.of_period, prices, bound);
    w.prefix[0] = Int{};
    for (int i = 0; i < n; ++i) {
        w.prefix[i + 1] = w.prefix[i] + w.of_period[i];
    }
    if (w.plain_periods_of != static_cast<int>(with_groups)) {
        set_plain_periods(w, rules, with_groups);
        w.plain_periods_of = static_cast<int>(with_groups);
    }
    if (with_groups) {
        set_run_weights(w, rules);
    } else {  // no cheap run counts
        std::fill(w.runs_before.begin(), w.runs_before.end(), Int{});
        std::fill(w.left.begin(), w.left.end(), Int{});
        std::fill(w.right.begin(), w.right.end(), Int{});
    }
}

template void set_weights(Weights<std::int64_t>&, const SeriesRules&, const ScaledPrices&, const Fraction&, bool);
template void set_weights(Weights<Int128>&, const SeriesRules&, const ScaledPrices&, const Fraction&, bool);

}  // namespace tariffsieve::search
