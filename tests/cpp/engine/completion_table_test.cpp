// The completion table, cell by cell, against the recurrence filled one cell
// at a time: every jump from p to every q, each gap weighed by Weights::gap
// and each block by entering_block. Final answers can hide a wrong cell that
// no walk happens to read; this compares them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/search/completion_table.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {
namespace {

// The table as a single loop over its cells, layer by layer, in the time of
// a cell per jump: n * max_gap a layer.
template <typename Int>
void fill_cell_by_cell(const SeriesRules& rules, const Weights<Int>& w, int size, CompletionTable<Int>& table) {
    const int n = rules.n;
    table.size = size;
    table.width = n - size + 1;
    table.values.resize_for_overwrite(static_cast<std::size_t>(size - rules.min_block + 1) * table.width);
    table.best = table.values.data();
    for (int r = 0; r <= size - rules.min_block; ++r) {
        for (int p = size - 1 - r; p <= n - 1 - r; ++p) {
            Int best = WeightWidth<Int>::unreachable;
            if (r == 0 && n - 1 - p <= rules.max_gap) {
                best = w.gap(p, n);
            } else if (r > 0) {
                best = w.of_period[p + 1] + table.at(r - 1, p + 1);
                for (int q = p + 2; q <= std::min(p + 1 + rules.max_gap, n - r); ++q) {
                    best = std::min(best, w.gap(p, q) + entering_block(rules, w, table, q, r));
                }
            }
            table.best[static_cast<std::size_t>(r) * table.width + column(size, r, p)] =
                reachable(best) ? best : WeightWidth<Int>::unreachable;
        }
    }
    table.start = WeightWidth<Int>::unreachable;
    for (int q = 0; q <= std::min(rules.max_start, n - size); ++q) {
        table.start = std::min(table.start, w.gap(-1, q) + entering_block(rules, w, table, q, size));
    }
    if (!reachable(table.start)) {
        table.start = WeightWidth<Int>::unreachable;
    }
}

struct Case {
    SeriesRules rules;
    ScaledPrices prices;
    Fraction bound;
    bool with_groups;
    int size;
};

std::string describe(const Case& t) {
    std::string text = "n " + std::to_string(t.rules.n) + " size " + std::to_string(t.size) + " c " +
                       std::to_string(t.rules.min_block) + " gap " + std::to_string(t.rules.max_gap) + " start " +
                       std::to_string(t.rules.max_start) + (t.with_groups ? " groups" : "") + "\nweights";
    for (int i = 0; i < t.rules.n; ++i) {
        text += ' ' + std::to_string(to_int64(t.bound.denominator) * static_cast<std::int64_t>(t.prices.value[i].lo) -
                                     to_int64(t.bound.numerator)) + (t.rules.cheap[i] ? "*" : "");
    }
    return text;
}

// Every cell of the live columns equal, every other cell `unreachable` in the
// fast table, and those below the live columns in the slow one too (claim 11).
template <typename Int>
void expect_same_cells(const Case& t) {
    Weights<Int> w;
    set_weights(w, t.rules, t.prices, t.bound, t.with_groups);
    CompletionTable<Int> fast;
    CompletionTable<Int> slow;
    fill_table(t.rules, w, t.size, fast);
    fill_cell_by_cell(t.rules, w, t.size, slow);
    const Int unreachable = WeightWidth<Int>::unreachable;
    for (int r = 0; r <= t.size - t.rules.min_block; ++r) {
        const LiveColumns live = r == 0 ? LiveColumns{0, fast.width - 1} : live_columns(t.rules, t.size, r);
        for (int p = t.size - 1 - r; p <= t.rules.n - 1 - r; ++p) {
            const int j = column(t.size, r, p);
            const bool is_live = live.lo <= j && j <= live.hi;
            // Streamed only when an assertion fails.
            auto where = [&] { return "r " + std::to_string(r) + " p " + std::to_string(p) + "\n" + describe(t); };
            ASSERT_TRUE(fast.at(r, p) == (is_live ? slow.at(r, p) : unreachable)) << where();
            ASSERT_TRUE(j >= live.lo || slow.at(r, p) == unreachable) << where();
        }
    }
    ASSERT_TRUE(fast.start == slow.start) << describe(t);
}

// Small rules, where the edges lie: max_gap 0, 1 and beyond the runs; long
// cheap runs and none; the live columns clipped at both ends.
Case random_case(std::mt19937_64& random) {
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    Case t;
    SeriesRules& rules = t.rules;
    rules.n = pick(1, 36);
    rules.min_block = pick(1, std::min(4, rules.n));
    t.size = pick(rules.min_block, rules.n);
    rules.max_gap = pick(0, 3) == 0 ? pick(0, rules.n) : pick(0, 4);
    rules.max_start = pick(0, rules.max_gap);
    rules.min_size = t.size;
    const int cheap_share = pick(0, 4);  // of four: none, a few, ..., every period
    const int run_length = pick(1, 6);
    bool cheap = false;
    std::int64_t total = 0;
    for (int i = 0; i < rules.n; ++i) {
        if (i % run_length == 0) {
            cheap = pick(1, 4) <= cheap_share;
        }
        rules.cheap.push_back(cheap ? 1 : 0);
        const std::int64_t price = cheap ? pick(-20, 30) : pick(0, 100);
        t.prices.value.push_back(Int128::from_int64(price));
        total += price < 0 ? -price : price;
    }
    t.prices.total_magnitude = Int128::from_int64(total);
    t.bound = {Int128::from_int64(pick(-40, 200)), Int128::from_int64(pick(1, 4))};
    t.with_groups = pick(0, 3) != 0;
    return t;
}

TEST(CompletionTable, EveryCellIsTheRecurrencesOnRandomTables) {
    std::mt19937_64 random(33);
    for (int i = 0; i < 20000; ++i) {
        const Case t = random_case(random);
        expect_same_cells<std::int64_t>(t);
        if (i % 8 == 0) {
            expect_same_cells<Int128>(t);
        }
    }
}

// A week of five-minute periods: the live columns cut both ends of the
// layers, and a run of cheap periods longer than max_gap.
TEST(CompletionTable, EveryCellIsTheRecurrencesOnLongSeries) {
    std::mt19937_64 random(96);
    for (const int max_gap : {2, 7, 40}) {
        Case t;
        t.rules = {.n = 300, .min_block = 3, .max_gap = max_gap, .max_start = max_gap / 2, .min_size = 60, .cheap = {}};
        std::int64_t total = 0;
        for (int i = 0; i < t.rules.n; ++i) {
            const bool cheap = (i / 25) % 3 == 1 || std::uniform_int_distribution<int>(0, 9)(random) == 0;
            const std::int64_t price = std::uniform_int_distribution<int>(cheap ? -10 : 20, cheap ? 15 : 90)(random);
            t.rules.cheap.push_back(cheap ? 1 : 0);
            t.prices.value.push_back(Int128::from_int64(price));
            total += price < 0 ? -price : price;
        }
        t.prices.total_magnitude = Int128::from_int64(total);
        t.bound = {Int128::from_int64(45), Int128::from_int64(1)};
        t.size = t.rules.min_size;
        for (const bool with_groups : {true, false}) {
            t.with_groups = with_groups;
            expect_same_cells<std::int64_t>(t);
        }
    }
}

}  // namespace
}  // namespace tariffsieve::search
