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

// A walk through the main combinations of the table's size in lexicographic
// order, restricted to those with a completion that weighs at most `bound`
// (less than `bound` when strict): claim 5. Choices are made at the start and
// after every period whose block is long enough; a block's first c periods
// follow without choice (claim 2).
template <typename Int>
class MainWalk {
public:
    MainWalk(const IntegerSeries& series, const Weights<Int>& w, const CompletionTable<Int>& table, const Int& bound,
             bool strict)
        : series_(series), w_(w), table_(table), bound_(bound), strict_(strict) {}

    // The first main combination within the bound; the caller knows that one exists.
    std::vector<int> first() {
        restart();
        if (!complete()) {
            throw Abort("Exact search found no main combination within its bound");
        }
        return main_;
    }

    // The next main combination after `main` within the bound, or an empty list.
    std::vector<int> after(const std::vector<int>& main) {
        replay(main);
        while (!choices_.empty()) {
            const Choice choice = choices_.back();
            choices_.pop_back();
            rewind(choice);
            const int next = first_option(choice.next + 1);
            if (next >= 0) {
                take(next);
                if (!complete()) {
                    throw Abort("Exact search lost its way in the table");
                }
                return main_;
            }
        }
        return {};
    }

private:
    // The state before a choice, and the period chosen there.
    struct Choice {
        int p;
        int r;
        Int spent;
        std::size_t placed;
        int next;
    };

    const IntegerSeries& series_;
    const Weights<Int>& w_;
    const CompletionTable<Int>& table_;
    Int bound_;
    bool strict_;
    std::vector<int> main_;
    std::vector<Choice> choices_;
    int p_ = -1;
    int r_ = 0;
    Int spent_{};

    bool within(const Int& total) const {
        return reachable(total) && (strict_ ? total < bound_ : !(bound_ < total));
    }

    void restart() {
        main_.clear();
        choices_.clear();
        p_ = -1;
        r_ = table_.size;
        spent_ = Int{};
    }

    void rewind(const Choice& choice) {
        p_ = choice.p;
        r_ = choice.r;
        spent_ = choice.spent;
        main_.resize(choice.placed);
    }

    // The smallest next period from `from` on whose completion stays within the bound, or -1.
    int first_option(int from) const {
        const int n = series_.n;
        if (p_ < 0) {
            for (int q = std::max(from, 0); q <= std::min(series_.max_start, n - table_.size); ++q) {
                const Int enter = entering_block(series_, w_, table_, q, r_);
                if (reachable(enter) && within(w_.gap(-1, q) + enter)) {
                    return q;
                }
            }
            return -1;
        }
        if (from <= p_ + 1 && p_ + 1 <= n - 1) {
            const Int& extended = table_.at(r_ - 1, p_ + 1);
            if (reachable(extended) && within(spent_ + w_.of_period[p_ + 1] + extended)) {
                return p_ + 1;
            }
        }
        const int high = std::min({p_ + 1 + series_.max_gap, n - 1, n - r_});
        for (int q = std::max(from, p_ + 2); q <= high; ++q) {
            const Int enter = entering_block(series_, w_, table_, q, r_);
            if (reachable(enter) && within(spent_ + w_.gap(p_, q) + enter)) {
                return q;
            }
        }
        return -1;
    }

    // Takes `next` as the next period: the same block, or a new block after a gap.
    void take(int next) {
        choices_.push_back({p_, r_, spent_, main_.size(), next});
        if (p_ >= 0 && next == p_ + 1) {
            main_.push_back(next);
            spent_ += w_.of_period[next];
            ++p_;
            --r_;
            return;
        }
        const int n = series_.n;
        const int last = next + series_.min_block - 1 <= n - 1 ? next + series_.min_block - 1 : n - 1;
        for (int i = next; i <= last; ++i) {
            main_.push_back(i);
        }
        spent_ += w_.gap(p_, next) + w_.sum(next, last);
        r_ -= last - next + 1;
        p_ = last;
    }

    // Takes the smallest option at every choice until the combination is whole.
    bool complete() {
        while (r_ > 0) {
            const int next = first_option(0);
            if (next < 0) {
                return false;
            }
            take(next);
        }
        return true;
    }

    // The choices that make `main`, with the current weights.
    void replay(const std::vector<int>& main) {
        restart();
        std::size_t i = 0;
        while (i < main.size()) {
            const int next = main[i];
            take(next);
            i = main_.size();
        }
    }
};

// The lexicographically first main combination of the table's size with a
// completion that weighs at most `bound` (less than `bound` when strict).
// The caller knows that one exists; not finding it is a broken invariant.
template <typename Int>
std::vector<int> first_main_combination(const IntegerSeries& series, const Weights<Int>& w,
                                        const CompletionTable<Int>& table, const Int& bound, bool strict) {
    return MainWalk<Int>(series, w, table, bound, strict).first();
}

}  // namespace tariffsieve::search
