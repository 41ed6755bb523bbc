// Filling the completion table: its last layer, every other layer from the
// one below it, then the start row (claims 3, 4 and 11).
#include "engine/search/completion_table.h"

#include <algorithm>
#include <cstdint>

namespace tariffsieve::search {

namespace {

// The columns of layer r whose state a main combination can be in (claim
// 11): p no later than the first period and the gaps between the blocks up
// to p allow, and no earlier than the r periods left can still reach the end
// from. Writes `unreachable` into the layer's cells outside them.
struct LiveColumns {
    int lo;
    int hi;
};

template <typename Int>
LiveColumns live_columns(const SeriesRules& rules, CompletionTable<Int>& table, int r) {
    const int width = table.width;
    const std::int64_t k = table.size;
    const std::int64_t c = rules.min_block;
    const std::int64_t gap = rules.max_gap;
    const std::int64_t hi = rules.max_start + ((k - r) / c - 1) * gap;
    const std::int64_t lo = (width - 1) - (r / c + 1) * gap;
    LiveColumns live{static_cast<int>(std::max<std::int64_t>(lo, 0)),
                     static_cast<int>(std::min<std::int64_t>(hi, width - 1))};
    Int* const layer = table.best + static_cast<std::size_t>(r) * width;
    std::fill(layer, layer + std::min(live.lo, width), WeightWidth<Int>::unreachable);
    std::fill(layer + std::max(live.hi + 1, live.lo), layer + width, WeightWidth<Int>::unreachable);
    return live;
}

// Layer 0: after p nothing is left to place but the gap to the end.
template <typename Int>
void fill_last_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table) {
    const int n = rules.n;
    Int* layer = table.best;
    const int first_p = table.size - 1;
    for (int p = first_p; p <= n - 1; ++p) {
        layer[p - first_p] = n - 1 - p <= rules.max_gap ? w.gap(p, n) : WeightWidth<Int>::unreachable;
    }
}

// The blocks of layer r, by column j = q - (k - r) of the q they start at,
// from column first to last: entering[j], the weight of the block and of the
// state after it (claim 2).
// A block of c periods reads layer r - c at the same column. An unreachable
// rest is not tested: a real weight added to it stays at or above the floor.
// And entering_mixed[j] adds the gap's term in q for the gaps that hold a
// plain period.
template <typename Int>
void fill_entering(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r,
                   int first, int last) {
    const int n = rules.n;
    const int c = rules.min_block;
    const int width = table.width;
    Int* const entering = table.entering;
    Int* const entering_mixed = table.entering_mixed;
    const Int* const gap_to = w.gap_to.data() + (table.size - r);
    if (r < c) {  // only the final block that starts at n - r and runs to the end
        std::fill(entering, entering + width, WeightWidth<Int>::unreachable);
        entering[width - 1] = w.sum(n - r, n - 1);
        std::fill(entering_mixed, entering_mixed + width, WeightWidth<Int>::unreachable);
        entering_mixed[width - 1] = gap_to[width - 1] + entering[width - 1];
        return;
    }
    const Int* const rest = table.best + static_cast<std::size_t>(r - c) * width;
    const Int* const block_at = table.block_sums + (table.size - r);
    for (int j = first; j <= last; ++j) {
        const Int value = block_at[j] + rest[j];
        entering[j] = value;
        entering_mixed[j] = gap_to[j] + value;
    }
}

// Layer r >= 1 when no period is cheap (or no cheap run counts), its cells
// from column lo to hi: from p the main combination goes on at p + 1 or
// jumps to a block that starts at q; the best jump is a sliding-window
// minimum of the blocks' weights, entering (claim 4), here worked out as the
// window takes them in. Cells are by column j = p + 1 - (k - r), which is
// also the column of p + 1 below and of q = p + 1 in entering.
template <typename Int>
void fill_plain_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r, int lo,
                      int hi) {
    const int width = table.width;
    const int c = rules.min_block;
    const int base = table.size - r;
    const Int* const of_next = w.of_period.data() + base;
    Int* const layer = table.best + static_cast<std::size_t>(r) * width;
    const Int* const below = layer - width;
    // The last column has no q after p + 1, and with max_gap 0 no column jumps.
    const int jump_from = std::min(hi, rules.max_gap > 0 ? width - 2 : -1);
    for (int j = hi; j > jump_from && j >= lo; --j) {
        const Int best = of_next[j] + below[j];
        layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
    }
    const int gap = std::min(rules.max_gap, width);
    if (r < c) {
        // Only the final block, from the last column to the end, can follow.
        const Int final_block = w.sum(base + width - 1, rules.n - 1);
        for (int j = jump_from; j >= lo; --j) {
            Int best = of_next[j] + below[j];
            if (width - 1 <= j + gap) {
                best = std::min(best, final_block);
            }
            layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
        }
        return;
    }
    const Int* const block_at = table.block_sums + base;  // [col]: the weight of c periods from q
    const Int* const rest = table.best + static_cast<std::size_t>(r - c) * width;
    WindowMin<Int> jump(table.windows.data(), static_cast<std::size_t>(rules.n) + 2);
    // The columns above the first cell's q = p + 2 that its window holds.
    for (int col = std::min(jump_from + gap, width - 1); col > jump_from + 1; --col) {
        jump.push_low(col, block_at[col] + rest[col]);
    }
    for (int j = jump_from; j >= lo; --j) {
        jump.push_low(j + 1, block_at[j + 1] + rest[j + 1]);  // an unreachable rest stays above the floor
        jump.drop_above(j + gap);
        const Int best = std::min(of_next[j] + below[j], jump.min());
        layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
    }
}

// Layer r >= 1 with cheap runs: as above, and the gaps made only of cheap
// periods and the gaps that hold a plain period are two more kinds of jump
// (claim 4), the latter weighing the weights' term in p plus their term in
// q. Cells go down the layer a stretch at a time: a cell
// whose p + 1 is plain can only jump over a gap that holds a plain period,
// while the cells of a cheap run share their run's first plain period, so
// that the window of gaps holding a plain period only shrinks along a run.
template <typename Int>
void fill_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r,
                int lo, int hi) {
    const int width = table.width;
    const int base = table.size - r;  // p + 1 at column 0
    const int max_gap = rules.max_gap;
    const Int* const next_weight = w.of_period.data() + base;  // [j]: the weight of p + 1
    const Int* const prefix_at = w.prefix.data() + base;       // [j]: prefix(p + 1); [col]: prefix(q)
    const Int* const gap_from = w.gap_from.data() + base;     // [j]: the term in p of a gap from p
    const int* const plain_at = w.plain_after.data() + base;   // [j]: the first plain period from p + 1 on
    const int* const plain_before = w.plain_before.data();
    Int* const layer = table.best + static_cast<std::size_t>(r) * width;
    const Int* const below = layer - width;
    const Int* const entering = table.entering;
    const std::size_t room = static_cast<std::size_t>(rules.n) + 2;
    WindowMin<Int> mixed_gap(table.windows.data(), room);  // min over q of entering_mixed(q)
    const Int* const entering_mixed = table.entering_mixed;
    const int* const stretch_from = w.plain_stretch_from.data() + base;  // [j]: where p + 1's plain stretch starts
    auto push_mixed = [&](int col) { mixed_gap.push_low(col, entering_mixed[col]); };
    int j = hi;
    if (hi < width - 1) {
        // The columns that the first cell's window of gaps holding a plain
        // period holds above those its own step brings in.
        for (int col = std::min(hi + max_gap, width - 1); col > std::max(hi + 1, plain_at[hi] - base); --col) {
            push_mixed(col);
        }
    }
    while (j >= lo) {
        const int plain = plain_at[j] - base;  // as a column, at least j
        if (plain == j) {
            // A stretch of plain cells: each jumps only over gaps that hold a
            // plain period, q from p + 2, and brings column j + 1 in.
            if (j == width - 1) {  // no q after p + 1
                const Int best = next_weight[j] + below[j];
                layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
                --j;
                continue;
            }
            for (const int stop = std::max(lo, stretch_from[j] - base); j >= stop; --j) {
                push_mixed(j + 1);
                mixed_gap.drop_above(j + max_gap);  // no position lies above width - 1
                Int best = next_weight[j] + below[j];
                if (!mixed_gap.empty()) {
                    best = std::min(best, gap_from[j] + mixed_gap.min());
                }
                layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
            }
            continue;
        }
        // A cheap run, from cell j down to `lowest`. Its cells jump over gaps
        // that hold a plain period only from q = plain + 1 on, which the plain
        // cell above it brought in; the run's own columns and its plain
        // period join once the run is done.
        const int lowest = std::max(lo, plain_before[base + j + 1] + 1 - base);
        if (j == width - 1) {  // no q after p + 1
            const Int best = next_weight[j] + below[j];
            layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
            --j;
        }
        // The gaps made only of cheap periods: q from p + 2 up to the run's
        // first plain period.
        if (lowest + max_gap >= std::min(plain, width - 1)) {
            // max_gap cuts no such gap short: q only joins, and running minima
            // serve (claim 4).
            Int cheap_min = WeightWidth<Int>::unreachable;  // which no real weight brings below the floor
            Int cheap_flat_min = WeightWidth<Int>::unreachable;
            for (int col = std::min(plain, width - 1); col > j + 1; --col) {  // a run that goes on above hi
                cheap_min = std::min(cheap_min, prefix_at[col] + entering[col]);
                cheap_flat_min = std::min(cheap_flat_min, entering[col]);
            }
            for (; j >= lowest; --j) {
                cheap_min = std::min(cheap_min, prefix_at[j + 1] + entering[j + 1]);
                cheap_flat_min = std::min(cheap_flat_min, entering[j + 1]);
                mixed_gap.drop_above(j + max_gap);
                Int best = std::min({next_weight[j] + below[j], cheap_min - prefix_at[j], cheap_flat_min});
                if (!mixed_gap.empty()) {
                    best = std::min(best, gap_from[j] + mixed_gap.min());
                }
                layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
            }
        } else {
            WindowMin<Int> cheap_gap(table.windows.data() + room, room);           // min over q of prefix(q) + entering(q)
            WindowMin<Int> cheap_gap_flat(table.windows.data() + 2 * room, room);  // min over q of entering(q)
            for (int col = std::min({plain, j + max_gap, width - 1}); col > j + 1; --col) {  // a run that goes on above hi
                cheap_gap.push_low(col, prefix_at[col] + entering[col]);
                cheap_gap_flat.push_low(col, entering[col]);
            }
            for (; j >= lowest; --j) {
                cheap_gap.push_low(j + 1, prefix_at[j + 1] + entering[j + 1]);
                cheap_gap_flat.push_low(j + 1, entering[j + 1]);
                const int high = std::min(plain, j + max_gap);
                cheap_gap.drop_above(high);
                cheap_gap_flat.drop_above(high);
                mixed_gap.drop_above(j + max_gap);
                Int best = next_weight[j] + below[j];
                if (!cheap_gap.empty()) {  // empty only with max_gap 0
                    best = std::min({best, cheap_gap.min() - prefix_at[j], cheap_gap_flat.min()});
                }
                if (!mixed_gap.empty()) {
                    best = std::min(best, gap_from[j] + mixed_gap.min());
                }
                layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
            }
        }
        if (j >= lo) {
            // Columns above hi + max_gap lie beyond every window still to come.
            for (int col = std::min({plain, hi + max_gap, width - 1}); col > lowest; --col) {
                push_mixed(col);
            }
        }
    }
}

// The start row: the first block starts at most max_gap_from_start periods in.
template <typename Int>
void fill_start(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table) {
    table.start = WeightWidth<Int>::unreachable;
    for (int q = 0; q <= std::min(rules.max_start, rules.n - table.size); ++q) {
        const Int enter = entering_block(rules, w, table, q, table.size);
        if (reachable(enter)) {
            table.start = std::min(table.start, w.gap(-1, q) + enter);
        }
    }
}

// Lays the table's arrays out in its buffer: one allocation a call, however
// many bounds it fills the table for.
template <typename Int>
void lay_out(CompletionTable<Int>& table, int n, int size, int c) {
    const std::size_t width = static_cast<std::size_t>(table.width);
    const std::size_t cells = static_cast<std::size_t>(size - c + 1) * width;  // every cell is written
    const std::size_t positions = static_cast<std::size_t>(n) + 1;
    table.values.resize(cells + (positions - static_cast<std::size_t>(c)) + 2 * (width + 1));
    Int* next = table.values.data();
    auto take = [&](std::size_t count) {
        Int* const taken = next;
        next += count;
        return taken;
    };
    table.best = take(cells);
    table.block_sums = take(positions - static_cast<std::size_t>(c));
    table.entering = take(width + 1);
    table.entering_mixed = take(width + 1);
    table.windows.resize(3 * (static_cast<std::size_t>(n) + 2));
}

}  // namespace

template <typename Int>
void fill_table(const SeriesRules& rules, const Weights<Int>& w, int size, CompletionTable<Int>& table) {
    const int n = rules.n;
    table.size = size;
    table.width = n - size + 1;
    lay_out(table, n, size, rules.min_block);
    fill_last_layer(rules, w, table);
    // The weight of the c periods a block starts with, from each q that has them.
    const int c = rules.min_block;
    for (int q = 0; q <= n - c; ++q) {
        table.block_sums[q] = w.sum(q, q + c - 1);
    }
    if (!w.run_bounds.empty()) {  // cheap runs count
        for (int r = 1; r <= size - rules.min_block; ++r) {
            const LiveColumns live = live_columns(rules, table, r);
            // The columns the live cells read: q = p + 2, and jumps up to max_gap further.
            fill_entering(rules, w, table, r, live.lo,
                          std::min(live.hi + rules.max_gap + 1, table.width - 1));
            fill_layer(rules, w, table, r, live.lo, live.hi);
        }
    } else {
        for (int r = 1; r <= size - rules.min_block; ++r) {
            const LiveColumns live = live_columns(rules, table, r);
            fill_plain_layer(rules, w, table, r, live.lo, live.hi);
        }
    }
    fill_start(rules, w, table);
}

template void fill_table(const SeriesRules&, const Weights<std::int64_t>&, int, CompletionTable<std::int64_t>&);
template void fill_table(const SeriesRules&, const Weights<Int128>&, int, CompletionTable<Int128>&);

}  // namespace tariffsieve::search
