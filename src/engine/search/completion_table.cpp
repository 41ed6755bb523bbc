// Filling the completion table: its last layer, every other layer from the
// one below it, then the start row (claims 3, 4 and 11).
//
// The recurrence. B(r, p) is the cell of the state (p, r), E(r, q) the
// weight of a block that starts at q with r periods of the main combination
// from q on and of the state after it (entering_block), a(p) the first plain
// period after p, and a jump from p goes to a block from q in p + 2 ..
// p + 1 + max_gap (claim 2):
//
//   [end]    B(0, p) = gap(p, n)                  when n - 1 - p <= max_gap
//   and for r >= 1, B(r, p) is the least of
//   [next]   w(p + 1) + B(r - 1, p + 1)
//   [cheap]  prefix(q) - prefix(p + 1) + E(r, q)  for each jump with q <= a(p)
//   [cheap0] E(r, q)                              for each jump with q <= a(p)
//   [plain]  from(p) + to(q) + E(r, q)            for each jump with q > a(p)
//   [start]  the start row: the least gap(-1, q) + E(k, q), q <= max_gap_from_start
//
// A gap made only of cheap periods is one run, taken ([cheap]) or left out
// ([cheap0]); a gap that holds a plain period weighs a term in p and a term
// in q (claim 4). Without cheap runs no gap weighs anything: [plain] with
// from = to = 0. Each function below names the terms it computes. The
// minima over q are sliding-window minima, since the window of q only moves
// down as p does; every array is read by column (column()).
#include "engine/search/completion_table.h"

#include <algorithm>
#include <cstdint>

namespace tariffsieve::search {

namespace {

// Stores a cell. A sum that holds `unreachable` stays at or above the floor
// but not at `unreachable` itself; storing `unreachable` keeps every later
// sum that holds it within the width.
template <typename Int>
void store_cell(Int* layer, int j, const Int& best) {
    layer[j] = reachable(best) ? best : WeightWidth<Int>::unreachable;
}

// Writes `unreachable` into the cells of layer r outside its live columns.
template <typename Int>
void clear_dead_columns(CompletionTable<Int>& table, int r, LiveColumns live) {
    const int width = table.width;
    Int* const layer = table.best + static_cast<std::size_t>(r) * width;
    std::fill(layer, layer + std::min(live.lo, width), WeightWidth<Int>::unreachable);
    std::fill(layer + std::max(live.hi + 1, live.lo), layer + width, WeightWidth<Int>::unreachable);
}

// [end], the whole of layer 0.
template <typename Int>
void fill_last_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table) {
    const int n = rules.n;
    Int* layer = table.best;
    const int first_p = table.size - 1;
    for (int p = first_p; p <= n - 1; ++p) {
        layer[column(table.size, 0, p)] = n - 1 - p <= rules.max_gap ? w.gap(p, n) : WeightWidth<Int>::unreachable;
    }
}

// The period that layer r's column 0 reads: p + 1 of the cell there, and q
// of a block from there. An array by period, shifted by it, is read by column.
inline int period_at_column_zero(int size, int r) {
    return -column(size, r - 1, 0);
}

// The terms in q of layer r, at q's column from first to last: entering[j]
// = E(r, q) for [cheap] and [cheap0], and entering_plain[j] = to(q) +
// E(r, q) for [plain]. A block of c periods reads layer r - c at the
// same column. An unreachable rest is not tested: a real weight added to it
// stays at or above the floor.
template <typename Int>
void fill_entering(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r,
                   int first, int last) {
    const int n = rules.n;
    const int c = rules.min_block;
    const int width = table.width;
    const int base = period_at_column_zero(table.size, r);
    Int* const entering = table.entering;
    Int* const entering_plain = table.entering_plain;
    const Int* const gap_to = w.gap_to.data() + base;
    if (r < c) {  // only the final block that starts at n - r and runs to the end
        std::fill(entering, entering + width, WeightWidth<Int>::unreachable);
        entering[width - 1] = w.sum(n - r, n - 1);
        std::fill(entering_plain, entering_plain + width, WeightWidth<Int>::unreachable);
        entering_plain[width - 1] = gap_to[width - 1] + entering[width - 1];
        return;
    }
    const Int* const rest = table.best + static_cast<std::size_t>(r - c) * width;
    const Int* const block_at = table.block_sums + base;
    for (int j = first; j <= last; ++j) {
        const Int value = block_at[j] + rest[j];
        entering[j] = value;
        entering_plain[j] = gap_to[j] + value;
    }
}

// Layer r >= 1 when no cheap run counts, its cells from column lo to hi:
// [next], and [plain] with from = to = 0, a sliding-window minimum of the
// blocks' weights E(r, q), here worked out as the window takes them in.
template <typename Int>
void fill_plain_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r, int lo,
                      int hi) {
    const int width = table.width;
    const int c = rules.min_block;
    const int base = period_at_column_zero(table.size, r);
    const Int* const of_next = w.of_period.data() + base;
    Int* const layer = table.best + static_cast<std::size_t>(r) * width;
    const Int* const below = layer - width;
    // The last column has no q after p + 1, and with max_gap 0 no column jumps: [next] alone.
    const int jump_from = std::min(hi, rules.max_gap > 0 ? width - 2 : -1);
    for (int j = hi; j > jump_from && j >= lo; --j) {
        store_cell(layer, j, of_next[j] + below[j]);
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
            store_cell(layer, j, best);
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
        store_cell(layer, j, std::min(of_next[j] + below[j], jump.min()));
    }
}

// One layer r >= 1 with cheap runs, as its fill reads it: every array by
// column (p's, or q's for the terms in q).
template <typename Int>
struct CheapLayer {
    Int* cells;                  // B(r, p)
    const Int* below;            // B(r - 1, p + 1)
    const Int* next_weight;      // w(p + 1)
    const Int* prefix;           // [j]: prefix(p + 1); [col]: prefix(q)
    const Int* gap_from;         // from(p)
    const Int* entering;         // E(r, q)
    const Int* entering_plain;   // to(q) + E(r, q)
    const int* plain_after;      // a(p), a period
    const int* plain_before;     // [j]: the last plain period up to p + 1
    const int* stretch_from;     // [j]: where p + 1's stretch of plain periods starts
    int base;                    // the period at column 0
    int width;
    int max_gap;
    int lo;                      // the live columns
    int hi;
    WindowEntry<Int>* windows;   // the room of three windows
    std::size_t room;            // of each
};

template <typename Int>
CheapLayer<Int> cheap_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r,
                            LiveColumns live) {
    const int base = period_at_column_zero(table.size, r);
    Int* const cells = table.best + static_cast<std::size_t>(r) * table.width;
    return {cells,
            cells - table.width,
            w.of_period.data() + base,
            w.prefix.data() + base,
            w.gap_from.data() + base,
            table.entering,
            table.entering_plain,
            w.plain_after.data() + base,
            w.plain_before.data() + base + 1,
            w.plain_stretch_from.data() + base,
            base,
            table.width,
            rules.max_gap,
            live.lo,
            live.hi,
            table.windows.data(),
            static_cast<std::size_t>(rules.n) + 2};
}

// [next] alone: the last column has no q after p + 1.
template <typename Int>
void next_only(const CheapLayer<Int>& layer, int j) {
    store_cell(layer.cells, j, layer.next_weight[j] + layer.below[j]);
}

// [next] and [plain] for a stretch of cells whose p + 1 is plain, from j
// down: such a cell jumps only over gaps that hold a plain period, q from
// p + 2, and brings column j + 1 into the window of [plain]. Returns the
// column below the stretch.
template <typename Int>
int fill_plain_stretch(const CheapLayer<Int>& layer, WindowMin<Int>& plain_gap, int j) {
    for (const int stop = std::max(layer.lo, layer.stretch_from[j] - layer.base); j >= stop; --j) {
        plain_gap.push_low(j + 1, layer.entering_plain[j + 1]);
        plain_gap.drop_above(j + layer.max_gap);  // no position lies above width - 1
        Int best = layer.next_weight[j] + layer.below[j];
        if (!plain_gap.empty()) {
            best = std::min(best, layer.gap_from[j] + plain_gap.min());
        }
        store_cell(layer.cells, j, best);
    }
    return j;
}

// [next], [cheap], [cheap0] and [plain] for the cells of a cheap run from j
// down to lowest, when max_gap cuts none of the run's cheap gaps short: the
// q of [cheap] and [cheap0] only join, and running minima serve (claim 4).
template <typename Int>
int fill_run_with_running_minima(const CheapLayer<Int>& layer, WindowMin<Int>& plain_gap, int j, int lowest,
                                 int plain) {
    const Int* const prefix = layer.prefix;
    const Int* const entering = layer.entering;
    Int cheap_min = WeightWidth<Int>::unreachable;  // which no real weight brings below the floor
    Int cheap0_min = WeightWidth<Int>::unreachable;
    for (int col = std::min(plain, layer.width - 1); col > j + 1; --col) {  // a run that goes on above hi
        cheap_min = std::min(cheap_min, prefix[col] + entering[col]);
        cheap0_min = std::min(cheap0_min, entering[col]);
    }
    for (; j >= lowest; --j) {
        cheap_min = std::min(cheap_min, prefix[j + 1] + entering[j + 1]);
        cheap0_min = std::min(cheap0_min, entering[j + 1]);
        plain_gap.drop_above(j + layer.max_gap);
        Int best = std::min({layer.next_weight[j] + layer.below[j], cheap_min - prefix[j], cheap0_min});
        if (!plain_gap.empty()) {
            best = std::min(best, layer.gap_from[j] + plain_gap.min());
        }
        store_cell(layer.cells, j, best);
    }
    return j;
}

// The same terms when max_gap cuts some of the run's cheap gaps short: the
// q of [cheap] and [cheap0] from p + 2 up to the run's first plain period
// and p + 1 + max_gap, two sliding windows.
template <typename Int>
int fill_run_with_windows(const CheapLayer<Int>& layer, WindowMin<Int>& plain_gap, int j, int lowest, int plain) {
    const Int* const prefix = layer.prefix;
    const Int* const entering = layer.entering;
    WindowMin<Int> cheap_gap(layer.windows + layer.room, layer.room);        // min over q of prefix(q) + E(r, q)
    WindowMin<Int> cheap0_gap(layer.windows + 2 * layer.room, layer.room);  // min over q of E(r, q)
    // A run that goes on above hi: the columns its first cell's window holds above j + 1.
    for (int col = std::min({plain, j + layer.max_gap, layer.width - 1}); col > j + 1; --col) {
        cheap_gap.push_low(col, prefix[col] + entering[col]);
        cheap0_gap.push_low(col, entering[col]);
    }
    for (; j >= lowest; --j) {
        cheap_gap.push_low(j + 1, prefix[j + 1] + entering[j + 1]);
        cheap0_gap.push_low(j + 1, entering[j + 1]);
        const int high = std::min(plain, j + layer.max_gap);
        cheap_gap.drop_above(high);
        cheap0_gap.drop_above(high);
        plain_gap.drop_above(j + layer.max_gap);
        Int best = layer.next_weight[j] + layer.below[j];
        if (!cheap_gap.empty()) {  // empty only with max_gap 0
            best = std::min({best, cheap_gap.min() - prefix[j], cheap0_gap.min()});
        }
        if (!plain_gap.empty()) {
            best = std::min(best, layer.gap_from[j] + plain_gap.min());
        }
        store_cell(layer.cells, j, best);
    }
    return j;
}

// The cells of a cheap run, from j down. Its cells jump over gaps that hold
// a plain period only from q = plain + 1 on, which the plain cell above it
// brought in; the run's own columns and its plain period join the window of
// [plain] once the run is done. Returns the column below the run.
template <typename Int>
int fill_cheap_run(const CheapLayer<Int>& layer, WindowMin<Int>& plain_gap, int j) {
    const int plain = layer.plain_after[j] - layer.base;  // as a column, above j
    const int lowest = std::max(layer.lo, layer.plain_before[j] + 1 - layer.base);
    if (lowest + layer.max_gap >= std::min(plain, layer.width - 1)) {
        j = fill_run_with_running_minima(layer, plain_gap, j, lowest, plain);
    } else {
        j = fill_run_with_windows(layer, plain_gap, j, lowest, plain);
    }
    if (j >= layer.lo) {
        // Columns above hi + max_gap lie beyond every window still to come.
        for (int col = std::min({plain, layer.hi + layer.max_gap, layer.width - 1}); col > lowest; --col) {
            plain_gap.push_low(col, layer.entering_plain[col]);
        }
    }
    return j;
}

// Layer r >= 1 with cheap runs, its cells from column lo to hi: all four
// terms. Cells go down the layer a stretch at a time: a cell whose p + 1 is
// plain has no cheap gap to jump, while the cells of a cheap run share their
// run's first plain period, so that the window of [plain] only shrinks along
// a run.
template <typename Int>
void fill_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r,
                LiveColumns live) {
    const CheapLayer<Int> layer = cheap_layer(rules, w, table, r, live);
    WindowMin<Int> plain_gap(layer.windows, layer.room);  // min over q of to(q) + E(r, q)
    int j = live.hi;
    if (j == layer.width - 1 && j >= live.lo) {
        next_only(layer, j);
        --j;
    } else if (j >= live.lo) {
        // The columns that the first cell's window of [plain] holds above
        // those its own step brings in.
        const int top = std::max(j + 1, layer.plain_after[j] - layer.base);
        for (int col = std::min(j + layer.max_gap, layer.width - 1); col > top; --col) {
            plain_gap.push_low(col, layer.entering_plain[col]);
        }
    }
    while (j >= live.lo) {
        if (layer.plain_after[j] - layer.base == j) {
            j = fill_plain_stretch(layer, plain_gap, j);
        } else {
            j = fill_cheap_run(layer, plain_gap, j);
        }
    }
}

// [start]: the first block starts at most max_gap_from_start periods in.
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
    table.values.resize_for_overwrite(cells + (positions - static_cast<std::size_t>(c)) + 2 * (width + 1));
    Int* next = table.values.data();
    auto take = [&](std::size_t count) {
        Int* const taken = next;
        next += count;
        return taken;
    };
    table.best = take(cells);
    table.block_sums = take(positions - static_cast<std::size_t>(c));
    table.entering = take(width + 1);
    table.entering_plain = take(width + 1);
    table.windows.resize_for_overwrite(3 * (static_cast<std::size_t>(n) + 2));
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
    const bool cheap_runs = !w.run_bounds.empty();
    for (int r = 1; r <= size - c; ++r) {
        const LiveColumns live = live_columns(rules, size, r);
        clear_dead_columns(table, r, live);
        if (cheap_runs) {
            // The columns the live cells read: q = p + 2, and jumps up to max_gap further.
            fill_entering(rules, w, table, r, live.lo, std::min(live.hi + rules.max_gap + 1, table.width - 1));
            fill_layer(rules, w, table, r, live);
        } else {
            fill_plain_layer(rules, w, table, r, live.lo, live.hi);
        }
    }
    fill_start(rules, w, table);
}

template void fill_table(const SeriesRules&, const Weights<std::int64_t>&, int, CompletionTable<std::int64_t>&);
template void fill_table(const SeriesRules&, const Weights<Int128>&, int, CompletionTable<Int128>&);

}  // namespace tariffsieve::search
