// The dynamic programme over main combinations of one size: for a period p
// whose block is already long enough and r periods still to place, the
// smallest weight of any completion (claims 2, 3 and 4).
#pragma once

#include <cstdint>

#include "engine/search/scratch_array.h"
#include "engine/search/series_rules.h"
#include "engine/search/weight_width.h"
#include "engine/search/weights.h"
#include "engine/search/window_min.h"

namespace tariffsieve::search {

// The cells of one size k: layer r (periods still to place, 0 .. k - c) and
// column t = p - (k - 1 - r), since p is then the (k - r)-th period of the
// main combination and has at least r periods after it (claim 3).
template <typename Int>
struct CompletionTable {
    int size = 0;
    int width = 0;         // n - k + 1
    Int* best = nullptr;   // layers 0 .. k - c, a row of width cells each
    Int start = WeightWidth<Int>::unreachable;  // the lightest candidate of the size

    const Int& at(int r, int p) const { return best[static_cast<std::size_t>(r) * width + (p - (size - 1 - r))]; }

    // The fill's scratch, kept so that filling the table again allocates nothing.
    Int* block_sums = nullptr;      // [q]: the weight of the c periods from q
    Int* entering = nullptr;        // [j]: one layer's blocks with what follows them
    Int* entering_mixed = nullptr;  // with the gap's term in q, where a gap holds a plain period
    ScratchArray<Int> values;       // the room of the arrays above
    ScratchArray<WindowEntry<Int>> windows;  // the room of the fill's three sliding windows, n + 2 entries each

    CompletionTable() = default;
    CompletionTable(const CompletionTable&) = delete;  // the pointers point into this table's own buffer
    CompletionTable& operator=(const CompletionTable&) = delete;
};

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
