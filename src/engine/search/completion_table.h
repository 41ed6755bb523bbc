// The dynamic programme over main combinations of one size: for a period p
// whose block is already long enough and r periods still to place, the
// smallest weight of any completion (claims 2 and 3), and the walk that
// recovers the first main combination in lexicographic order under a bound
// (claim 5).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/weights.h"
#include "engine/search/window_min.h"

namespace tariffsieve::search {

// A value that stands for "no completion". Every real weight sum the search
// forms stays below a quarter of `floor` in magnitude (checked where the
// weights are made), so a sum holding `unreachable` stays at or above `floor`.
template <typename Int>
struct Unreachable;
template <>
struct Unreachable<std::int64_t> {
    static constexpr std::int64_t value = std::int64_t{1} << 60;
    static constexpr std::int64_t floor = std::int64_t{1} << 59;
    static constexpr unsigned real_bits = 56;  // real weight sums stay below 2^56
};
template <>
struct Unreachable<Int128> {
    static constexpr Int128 value = Int128::from_words(std::uint64_t{1} << 62, 0);  // 2^126
    static constexpr Int128 floor = Int128::from_words(std::uint64_t{1} << 61, 0);
    static constexpr unsigned real_bits = 122;
};

template <typename Int>
bool reachable(const Int& value) {
    return value < Unreachable<Int>::floor;
}

// The cells of one size k: layer r (periods still to place, 0 .. k - c) and
// column t = p - (k - 1 - r), since p is then the (k - r)-th period of the
// main combination and has at least r periods after it (claim 3).
template <typename Int>
struct CompletionTable {
    int size = 0;
    int width = 0;  // n - k + 1
    std::vector<Int> best;
    Int start = Unreachable<Int>::value;  // the lightest candidate of the size

    const Int& at(int r, int p) const { return best[static_cast<std::size_t>(r) * width + (p - (size - 1 - r))]; }
};

// The weight of a block that starts at q, with r periods of the main
// combination from q on, up to the state after the block (claim 2): c
// periods and the table's cell, or a final block that runs to the last period.
template <typename Int>
Int entering_block(const IntegerSeries& series, const Weights<Int>& w, const CompletionTable<Int>& table, int q, int r) {
    const int n = series.n;
    const int c = series.min_block;
    if (q + c - 1 <= n - 1) {
        if (r < c) {
            return Unreachable<Int>::value;
        }
        const Int& rest = table.at(r - c, q + c - 1);
        return reachable(rest) ? w.sum(q, q + c - 1) + rest : Unreachable<Int>::value;
    }
    return r == n - q ? w.sum(q, n - 1) : Unreachable<Int>::value;
}

template <typename Int>
CompletionTable<Int> fill_table(const IntegerSeries& series, const Weights<Int>& w, int size) {
    const int n = series.n;
    const int c = series.min_block;
    const int k = size;
    const Int unreachable = Unreachable<Int>::value;
    CompletionTable<Int> table;
    table.size = k;
    table.width = n - k + 1;
    table.best.assign(static_cast<std::size_t>(k - c + 1) * table.width, unreachable);
    std::vector<Int> entering(table.width + 1);
    WindowMin<Int> cheap_gap(n + 2);      // min over q of prefix(q - 1) + entering(q)
    WindowMin<Int> cheap_gap_flat(n + 2); // min over q of entering(q)
    WindowMin<Int> mixed_gap(n + 2);      // min over q of runs_before(plain_before(q)) + right(q) + entering(q)
    for (int r = 0; r <= k - c; ++r) {
        Int* layer = &table.best[static_cast<std::size_t>(r) * table.width];
        const int first_p = k - 1 - r;
        if (r == 0) {
            for (int p = first_p; p <= n - 1; ++p) {
                if (n - 1 - p <= series.max_gap) {
                    layer[p - first_p] = w.gap(p, n);
                }
            }
            continue;
        }
        // entering[q - (k - r)] for the q a block of this layer may start at.
        for (int q = k - r; q <= n - r; ++q) {
            entering[q - (k - r)] = entering_block(series, w, table, q, r);
        }
        auto entering_at = [&](int q) -> const Int& { return entering[q - (k - r)]; };
        cheap_gap.clear();
        cheap_gap_flat.clear();
        mixed_gap.clear();
        const int last_q = std::min(n - 1, n - r);
        int mixed_low = last_q + 1;  // the lowest q pushed into mixed_gap
        for (int p = n - 1 - r; p >= first_p; --p) {
            Int best = unreachable;
            const Int& extended = table.at(r - 1, p + 1);
            if (reachable(extended)) {
                best = w.of_period[p + 1] + extended;
            }
            const int high = std::min(p + 1 + series.max_gap, last_q);
            const int plain = w.plain_after[p + 1];
            // q = p + 2 joins the gaps made only of cheap periods.
            if (p + 2 <= last_q && reachable(entering_at(p + 2))) {
                cheap_gap.push_low(p + 2, w.prefix[p + 2] + entering_at(p + 2));
                cheap_gap_flat.push_low(p + 2, entering_at(p + 2));
            }
            cheap_gap.drop_above(std::min(plain, high));
            cheap_gap_flat.drop_above(std::min(plain, high));
            if (!cheap_gap.empty()) {
                const Int through_cheap = cheap_gap.min() - w.prefix[p + 1];
                const Int& skipping_cheap = cheap_gap_flat.min();
                const Int& jump = through_cheap < skipping_cheap ? through_cheap : skipping_cheap;
                if (jump < best) {
                    best = jump;
                }
            }
            // Gaps that hold a plain period: q from max(p + 2, plain + 1).
            const int mixed_from = std::max(p + 2, plain + 1);
            while (mixed_low - 1 >= mixed_from) {
                --mixed_low;
                const Int& enter = entering_at(mixed_low);
                if (reachable(enter)) {
                    mixed_gap.push_low(mixed_low, w.runs_before[w.plain_before[mixed_low]] + w.right[mixed_low] + enter);
                }
            }
            mixed_gap.drop_above(high);
            if (!mixed_gap.empty()) {
                const Int jump = w.left[p + 1] - w.runs_before[plain] + mixed_gap.min();
                if (jump < best) {
                    best = jump;
                }
            }
            layer[p - first_p] = reachable(best) ? best : unreachable;
        }
    }
    for (int q = 0; q <= std::min(series.max_start, n - k); ++q) {
        const Int enter = entering_block(series, w, table, q, k);
        if (reachable(enter)) {
            const Int total = w.gap(-1, q) + enter;
            if (total < table.start) {
                table.start = total;
            }
        }
    }
    return table;
}

// The lexicographically first main combination of the table's size with a
// completion that weighs at most `bound` (less than `bound` when strict).
// The caller knows that one exists; not finding it is a broken invariant.
template <typename Int>
std::vector<int> first_main_combination(const IntegerSeries& series, const Weights<Int>& w,
                                        const CompletionTable<Int>& table, const Int& bound, bool strict) {
    const int n = series.n;
    const int c = series.min_block;
    auto within = [&](const Int& total) { return reachable(total) && (strict ? total < bound : !(bound < total)); };
    std::vector<int> main;
    main.reserve(table.size);
    Int spent{};
    int p = -1;
    int r = table.size;
    // Places the block that starts at q (claim 2) and returns its last period.
    auto place_block = [&](int q) {
        const int last = q + c - 1 <= n - 1 ? q + c - 1 : n - 1;
        for (int i = q; i <= last; ++i) {
            main.push_back(i);
        }
        spent += w.gap(p, q) + w.sum(q, last);
        r -= last - q + 1;
        p = last;
    };
    int q = 0;
    for (; q <= std::min(series.max_start, n - table.size); ++q) {
        const Int enter = entering_block(series, w, table, q, r);
        if (reachable(enter) && within(w.gap(-1, q) + enter)) {
            break;
        }
    }
    if (q > std::min(series.max_start, n - table.size)) {
        throw Abort("Exact search found no main combination within its bound");
    }
    place_block(q);
    while (r > 0) {
        const Int& extended = table.at(r - 1, p + 1);
        if (reachable(extended) && within(spent + w.of_period[p + 1] + extended)) {
            main.push_back(p + 1);
            spent += w.of_period[p + 1];
            ++p;
            --r;
            continue;
        }
        const int high = std::min({p + 1 + series.max_gap, n - 1, n - r});
        int next = p + 2;
        for (; next <= high; ++next) {
            const Int enter = entering_block(series, w, table, next, r);
            if (reachable(enter) && within(spent + w.gap(p, next) + enter)) {
                break;
            }
        }
        if (next > high) {
            throw Abort("Exact search lost its way in the table");
        }
        place_block(next);
    }
    return main;
}

}  // namespace tariffsieve::search
