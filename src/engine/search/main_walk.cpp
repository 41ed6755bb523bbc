// The walk through main combinations in lexicographic order (claim 5).
#include "engine/search/main_walk.h"

#include <algorithm>

#include "decimal/abort.h"

namespace tariffsieve::search {

template <typename Int>
const std::vector<int>& MainWalk<Int>::first() {
    restart();
    if (!complete()) {
        throw Abort("Exact search found no main combination within its bound");
    }
    return main_;
}

template <typename Int>
const std::vector<int>& MainWalk<Int>::after(const std::vector<int>& main) {
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
    main_.clear();
    return main_;
}

template <typename Int>
bool MainWalk<Int>::within(const Int& total) const {
    return !(ceiling_ < total);
}

template <typename Int>
void MainWalk<Int>::restart() {
    main_.clear();
    choices_.clear();
    main_.reserve(static_cast<std::size_t>(table_.size));
    p_ = -1;
    r_ = table_.size;
    spent_ = Int{};
}

template <typename Int>
void MainWalk<Int>::rewind(const Choice& choice) {
    p_ = choice.p;
    r_ = choice.r;
    spent_ = choice.spent;
    main_.resize(choice.placed);
}

// The smallest next period from `from` on whose completion stays within the bound, or -1.
template <typename Int>
int MainWalk<Int>::first_option(int from) const {
    const int n = rules_.n;
    if (p_ < 0) {
        return first_block(std::max(from, 0), std::min(rules_.max_start, n - table_.size));
    }
    if (from <= p_ + 1 && p_ + 1 <= n - 1) {
        const Int& extended = table_.at(r_ - 1, p_ + 1);
        if (reachable(extended) && within(spent_ + w_.of_period[p_ + 1] + extended)) {
            return p_ + 1;
        }
    }
    return first_block(std::max(from, p_ + 2), std::min({p_ + 1 + rules_.max_gap, n - 1, n - r_}));
}

// The smallest q in [low, high] where a block entered after a gap from p_
// completes within the bound, or -1: entering_block plus the gap's weight,
// read along the rows. No q passes n - r_, so with r_ >= c every block has
// its c periods and a cell of layer r_ - c, and with fewer left only the
// final block from n - r_ fits.
template <typename Int>
int MainWalk<Int>::first_block(int low, int high) const {
    if (low > high) {
        return -1;
    }
    const int n = rules_.n;
    const int c = rules_.min_block;
    const Int* const prefix = w_.prefix.data();
    if (r_ < c) {
        const int q = n - r_;
        return low <= q && q <= high && within(spent_ + w_.gap(p_, q) + (prefix[n] - prefix[q])) ? q : -1;
    }
    const Int* rest = &table_.at(r_ - c, low + c - 1);  // the cell after the block from q, q ascending
    const int plain = w_.plain_after[p_ + 1];
    int q = low;
    // Gaps made only of cheap periods: one run (claim 4).
    const Int before_gap = prefix[p_ + 1];
    for (const int last_cheap = std::min(high, plain); q <= last_cheap; ++q, ++rest) {
        if (reachable(*rest) &&
            within(spent_ + min_with_zero(prefix[q] - before_gap) + (prefix[q + c] - prefix[q]) + *rest)) {
            return q;
        }
    }
    // Gaps that hold a plain period: a term in p_ and a term in q (claim 4).
    const Int from_p = spent_ + w_.gap_from[p_ + 1];
    const Int* const gap_to = w_.gap_to.data();
    for (; q <= high; ++q, ++rest) {
        if (reachable(*rest) && within(from_p + gap_to[q] + (prefix[q + c] - prefix[q]) + *rest)) {
            return q;
        }
    }
    return -1;
}

// Takes `next` as the next period: the same block, or a new block after a gap.
template <typename Int>
void MainWalk<Int>::take(int next) {
    if (p_ >= 0 && next == p_ + 1) {
        main_.push_back(next);
        spent_ += w_.of_period[next];
        ++p_;
        --r_;
        return;
    }
    const int n = rules_.n;
    const int last = std::min(next + rules_.min_block - 1, n - 1);
    for (int i = next; i <= last; ++i) {
        main_.push_back(i);
    }
    spent_ += w_.gap(p_, next) + w_.sum(next, last);
    r_ -= last - next + 1;
    p_ = last;
}

// Takes the smallest option at every choice until the combination is whole.
template <typename Int>
bool MainWalk<Int>::complete() {
    while (r_ > 0) {
        const int next = first_option(0);
        if (next < 0) {
            return false;
        }
        take(next);
    }
    return true;
}

// The choices that make `main`, with the current weights, kept to step back
// through (only `after` steps back, and only through these).
template <typename Int>
void MainWalk<Int>::replay(const std::vector<int>& main) {
    restart();
    choices_.reserve(static_cast<std::size_t>(table_.size));
    while (main_.size() < main.size()) {
        const int next = main[main_.size()];
        choices_.push_back({p_, r_, spent_, main_.size(), next});
        take(next);
    }
}

template class MainWalk<std::int64_t>;
template class MainWalk<Int128>;

}  // namespace tariffsieve::search
