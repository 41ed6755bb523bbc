// Per-period weights of one bound and, derived from them, the weight of the
// best admissible cheap runs in any gap between two periods of a main
// combination, in constant time (claim 4).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/search/integer_series.h"

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
    int n = 0;
    std::vector<Int> of_period;    // w_i
    std::vector<Int> prefix;       // prefix[x + 1] = w_0 + ... + w_x
    std::vector<int> plain_after;  // [p + 1]: the first period after p that is not cheap, or n
    std::vector<int> plain_before; // [q]: the last period before q that is not cheap, or -1
    std::vector<Int> runs_before;  // [x]: the admissible weight of the whole cheap runs ending before x
    std::vector<Int> left;         // [p + 1]: the run that starts right after p and stops before a plain period
    std::vector<Int> right;        // [q]: the run that ends right before q and starts after a plain period

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

// The weights of `of_period`; without groups no run counts (conservative).
template <typename Int>
Weights<Int> make_weights(const IntegerSeries& series, std::vector<Int> of_period, bool with_groups) {
    const int n = series.n;
    const int c = series.min_block;
    auto cheap = [&](int i) { return with_groups && series.cheap[i] != 0; };
    Weights<Int> w;
    w.n = n;
    w.of_period = std::move(of_period);
    w.prefix.assign(n + 1, Int{});
    for (int i = 0; i < n; ++i) {
        w.prefix[i + 1] = w.prefix[i] + w.of_period[i];
    }
    w.plain_after.assign(n + 1, n);
    for (int p = n - 2; p >= -1; --p) {
        w.plain_after[p + 1] = cheap(p + 1) ? w.plain_after[p + 2] : p + 1;
    }
    w.plain_before.assign(n + 1, -1);
    for (int q = 1; q <= n; ++q) {
        w.plain_before[q] = cheap(q - 1) ? w.plain_before[q - 1] : q - 1;
    }
    // A whole run inside a gap touches nothing: it counts when it is long enough.
    w.runs_before.assign(n + 1, Int{});
    for (int x = 0; x < n; ++x) {
        Int value{};
        if (cheap(x) && (x + 1 == n || !cheap(x + 1))) {
            const int first = w.plain_before[x + 1] + 1;
            if (x - first + 1 >= c) {
                value = min_with_zero(w.sum(first, x));
            }
        }
        w.runs_before[x + 1] = w.runs_before[x] + value;
    }
    w.left.assign(n + 1, Int{});
    for (int p = -1; p < n; ++p) {
        const int plain = w.plain_after[p + 1];
        // Before the first period the run touches nothing; after p it touches p.
        const bool admissible = p >= 0 || plain >= c;
        if (plain > p + 1 && admissible) {
            w.left[p + 1] = min_with_zero(w.sum(p + 1, plain - 1));
        }
    }
    w.right.assign(n + 1, Int{});
    for (int q = 0; q <= n; ++q) {
        // It touches q, or for q = n ends at the last period: admissible either way.
        const int plain = w.plain_before[q];
        if (plain < q - 1) {
            w.right[q] = min_with_zero(w.sum(plain + 1, q - 1));
        }
    }
    return w;
}

}  // namespace tariffsieve::search
