// The smallest exact average of the candidates of a size, by Dinkelbach's
// iteration (claim 9), with the weights and table of its last round.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/bounded_weights.h"
#include "engine/search/completion_table.h"
#include "engine/search/group_choice.h"
#include "engine/search/integer_series.h"

namespace tariffsieve::search {

// The lightest candidate under the table's weights: its exact cost and count.
template <typename Int>
Bound lightest_candidate(const IntegerSeries& series, const Weights<Int>& w, const CompletionTable<Int>& table) {
    const std::vector<int> main = first_main_combination(series, w, table, table.start, false);
    Bound ratio{Int128{}, Int128{}};
    std::int64_t count = 0;
    for (int p : main) {
        ratio.numerator += series.value[p];
        ++count;
    }
    for (const Group& group : cheap_groups(series, main)) {
        if (group.admissible && w.sum(group.first, group.last) < Int{}) {
            for (int p = group.first; p <= group.last; ++p) {
                ratio.numerator += series.value[p];
                ++count;
            }
        }
    }
    ratio.denominator = Int128::from_int64(count);
    return ratio;
}

// A's cost and count, and the weights of A with their table, whose start is zero.
template <typename Int>
struct SmallestAverage {
    Bound ratio;
    Weights<Int> weights;
    CompletionTable<Int> table;
};

template <typename Int>
SmallestAverage<Int> smallest_average(const IntegerSeries& series, int size) {
    // Start from the average of the `size` cheapest prices: usually just
    // below A, so that the first lightest candidate is close to the best.
    std::vector<Int128> sorted = series.value;
    std::sort(sorted.begin(), sorted.end());
    Bound best{Int128{}, Int128::from_int64(size)};
    for (int i = 0; i < size; ++i) {
        best.numerator += sorted[i];
    }
    SmallestAverage<Int> settled{best, {}, {}};
    const int rounds = series.n - size + 2;  // claim 9
    for (int round = 0;; ++round) {
        if (round == rounds) {
            throw Abort("Dinkelbach's iteration did not settle within its bound");
        }
        settled.weights = weights_for<Int>(series, settled.ratio, true);
        settled.table = fill_table(series, settled.weights, size);
        if (settled.table.start == Int{}) {
            return settled;
        }
        settled.ratio = lightest_candidate(series, settled.weights, settled.table);
    }
}

}  // namespace tariffsieve::search
