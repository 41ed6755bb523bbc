// The dynamic programme over main combinations of one size: for a period p
// whose block is already long enough and r periods still to place, the
// smallest weight of any completion (claims 2, 3 and 4).
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/search/scratch_array.h"
#include "engine/search/series_rules.h"
#include "engine/search/weight_width.h"
#include "engine/search/weights.h"
#include "engine/search/window_min.h"

namespace tariffsieve::search {

// The column of the state (p, r) in a table of `size` k: p - (k - 1 - r),
// since p is then the (k - r)-th period of the main combination and has at
// least r periods after it (claim 3). It depends on p + r alone, so one
// column holds the state (p, r), the state (p + 1, r - 1) that goes on at
// the next period, and the state (q + c - 1, r - c) after the c periods of
// a block from q = p + 1; a block from q = p + 1 + d reads column + d.
constexpr int column(int size, int r, int p) {
    return p - (size - 1 - r);
}

// The cells of one size k: layer r (periods still to place, 0 .. k - c),
// each of n - k + 1 columns.
template <typename Int>
struct CompletionTable {
    int size = 0;
    int width = 0;         // n - k + 1
    Int* best = nullptr;   // layers 0 .. k - c, a row of width cells each
    Int start = WeightWidth<Int>::unreachable;  // the lightest candidate of the size

    const Int& at(int r, int p) const { return best[static_cast<std::size_t>(r) * width + column(size, r, p)]; }

    // The fill's scratch, kept so that filling the table again allocates nothing.
    Int* block_sums = nullptr;      // [q]: the weight of the c periods from q
    Int* entering = nullptr;        // [column of q]: one layer's blocks with what follows them
    Int* entering_plain = nullptr;  // with the term in q of a gap that holds a plain period
    ScratchArray<Int> values;       // the room of the arrays above
    ScratchArray<WindowEntry<Int>> windows;  // the room of the fill's three sliding windows, n + 2 entries each

    CompletionTable() = default;
    CompletionTable(const CompletionTable&) = delete;  // the pointers point into this table's own buffer
    CompletionTable& operator=(const CompletionTable&) = delete;
};

// The columns of layer r >= 1 whose state a main combination can be in
// (claim 11): p no later than the first period and the gaps between the
// blocks up to p allow, and no earlier than the r periods left can still
// reach the end from. The cells outside them hold `unreachable`.
struct LiveColumns {
    int lo;
    int hi;
};

inline LiveColumns live_columns(const SeriesRules& rules, int size, int r) {
    const std::int64_t width = rules.n - size + 1;
    const std::int64_t c = rules.min_block;
    const std::int64_t gap = rules.max_gap;
    const std::int64_t hi = rules.max_start + ((size - r) / c - 1) * gap;
    const std::int64_t lo = (width - 1) - (r / c + 1) * gap;
    return {static_cast<int>(std::max<std::int64_t>(lo, 0)), static_cast<int>(std::min<std::int64_t>(hi, width - 1))};
}

// The weight of a block that starts at q, with r periods of the main
// combination from q on, up to the state after the block (claim 2): c
// periods and the table's cell, or a final block that runs to the last period.
template <typename Int>
Int entering_block(const SeriesRules& rules, const Weights<Int>& w, const CompletionTable<Int>& table, int q, int r) {
    const int n = rules.n;
    const int c = rules.min_block;
    if (q + c - 1 <= n - 1) {
        if (r < c) {
            return WeightWidth<Int>::unreachable;
        }
        const Int& rest = table.at(r - c, q + c - 1);
        return reachable(rest) ? w.sum(q, q + c - 1) + rest : WeightWidth<Int>::unreachable;
    }
    return r == n - q ? w.sum(q, n - 1) : WeightWidth<Int>::unreachable;
}

// Fills `table` for the main combinations of `size` periods under `w`.
template <typename Int>
void fill_table(const SeriesRules& rules, const Weights<Int>& w, int size, CompletionTable<Int>& table);

extern template void fill_table(const SeriesRules&, const Weights<std::int64_t>&, int, CompletionTable<std::int64_t>&);
extern template void fill_table(const SeriesRules&, const Weights<Int128>&, int, CompletionTable<Int128>&);

}  // namespace tariffsieve::search
