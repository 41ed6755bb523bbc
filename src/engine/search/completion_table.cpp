// Filling the completion table: its last layer, every other layer from the
// one below it, then the start row (claims 3 and 4).
#include "engine/search/completion_table.h"

#include <algorithm>

namespace tariffsieve::search {

namespace {

// Layer 0: after p nothing is left to place but the gap to the end.
template <typename Int>
void fill_last_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table) {
    const int n = rules.n;
    Int* layer = table.best.data();
    const int first_p = table.size - 1;
    for (int p = first_p; p <= n - 1; ++p) {
        if (n - 1 - p <= rules.max_gap) {
            layer[p - first_p] = w.gap(p, n);
        }
    }
}

// Layer r >= 1: from p the main combination goes on at p + 1, or jumps a gap
// to a block that starts at q. The gaps made only of cheap periods and the
// gaps that hold a plain one are two sliding-window minima (claim 4). The
// arrays are read through local pointers: the stores into the layer could
// otherwise alias them and force every one to be loaded again.
template <typename Int>
void fill_layer(const SeriesRules& rules, const Weights<Int>& w, CompletionTable<Int>& table, int r) {
    const int n = rules.n;
    const int k = table.size;
    const Int unreachable = WeightWidth<Int>::unreachable;
    const Int* of_period = w.of_period.data();
    const Int* prefix = w.prefix.data();
    const Int* runs_before = w.runs_before.data();
    const Int* right = w.right.data();
    const Int* left = w.left.data();
    const int* plain_after = w.plain_after.data();
    const int* plain_before = w.plain_before.data();
    Int* const layer = table.best.data() + static_cast<std::size_t>(r) * table.width;
    const Int* const below = layer - table.width;  // layer r - 1, whose column for p is p - (k - r)
    const int first_p = k - 1 - r;
    // entering[q - (k - r)] for the q a block of this layer may start at.
    Int* const entering = table.entering.data();
    for (int q = k - r; q <= n - r; ++q) {
        entering[q - (k - r)] = entering_block(rules, w, table, q, r);
    }
    const std::size_t room = static_cast<std::size_t>(n) + 2;
    WindowMin<Int> cheap_gap(table.windows.data(), room);           // min over q of prefix(q - 1) + entering(q)
    WindowMin<Int> cheap_gap_flat(table.windows.data() + room, room);  // min over q of entering(q)
    // min over q of runs_before(plain_before(q)) + right(q) + entering(q)
    WindowMin<Int> mixed_gap(table.windows.data() + 2 * room, room);
    const int last_q = std::min(n - 1, n - r);
    int mixed_low = last_q + 1;  // the lowest q pushed into mixed_gap
    for (int p = n - 1 - r; p >= first_p; --p) {
        const Int& extended = below[p + 1 - (k - r)];
        Int best = reachable(extended) ? of_period[p + 1] + extended : unreachable;
        const int high = std::min(p + 1 + rules.max_gap, last_q);
        const int plain = plain_after[p + 1];
        // q = p + 2 joins the gaps made only of cheap periods (none when p + 1 is plain).
        if (plain > p + 1 && p + 2 <= last_q && reachable(entering[p + 2 - (k - r)])) {
            cheap_gap.push_low(p + 2, prefix[p + 2] + entering[p + 2 - (k - r)]);
            cheap_gap_flat.push_low(p + 2, entering[p + 2 - (k - r)]);
        }
        cheap_gap.drop_above(std::min(plain, high));
        cheap_gap_flat.drop_above(std::min(plain, high));
        if (!cheap_gap.empty()) {
            best = std::min({best, cheap_gap.min() - prefix[p + 1], cheap_gap_flat.min()});
        }
        // Gaps that hold a plain period: q from max(p + 2, plain + 1).
        for (const int mixed_from = std::max(p + 2, plain + 1); mixed_low - 1 >= mixed_from;) {
            --mixed_low;
            const Int& enter = entering[mixed_low - (k - r)];
            if (reachable(enter)) {
                mixed_gap.push_low(mixed_low, runs_before[plain_before[mixed_low]] + right[mixed_low] + enter);
            }
        }
        mixed_gap.drop_above(high);
        if (!mixed_gap.empty()) {
            best = std::min(best, left[p + 1] - runs_before[plain] + mixed_gap.min());
        }
        layer[p - first_p] = reachable(best) ? best : unreachable;
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

}  // namespace

template <typename Int>
void fill_table(const SeriesRules& rules, const Weights<Int>& w, int size, CompletionTable<Int>& table) {
    table.size = size;
    table.width = rules.n - size + 1;
    table.best.assign(static_cast<std::size_t>(size - rules.min_block + 1) * table.width, WeightWidth<Int>::unreachable);
    table.entering.resize(static_cast<std::size_t>(table.width) + 1);
    table.windows.resize(3 * (static_cast<std::size_t>(rules.n) + 2));
    fill_last_layer(rules, w, table);
    for (int r = 1; r <= size - rules.min_block; ++r) {
        fill_layer(rules, w, table, r);
    }
    fill_start(rules, w, table);
}

template void fill_table(const SeriesRules&, const Weights<std::int64_t>&, int, CompletionTable<std::int64_t>&);
template void fill_table(const SeriesRules&, const Weights<Int128>&, int, CompletionTable<Int128>&);

}  // namespace tariffsieve::search
