// Dinkelbach's iteration over the completion table (claim 9).
#include "engine/search/smallest_average.h"

#include <algorithm>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/group_choice.h"
#include "engine/search/main_walk.h"

namespace tariffsieve::search {

namespace {

// The lightest candidate under the table's weights: its exact cost and count.
// The walk and the groups' room are the caller's, kept from round to round.
template <typename Int>
Fraction lightest_candidate(const SeriesRules& rules, const ScaledPrices& prices, const Weights<Int>& w,
                            MainWalk<Int>& walk, std::vector<Group>& groups) {
    const std::vector<int>& main = walk.first();
    Fraction average{Int128{}, Int128{}};
    std::int64_t count = 0;
    for (int p : main) {
        average.numerator += prices.value[p];
        ++count;
    }
    find_cheap_groups(rules, main, groups);
    for (const Group& group : groups) {
        if (group.admissible && w.sum(group.first, group.last) < Int{}) {
            for (int p = group.first; p <= group.last; ++p) {
                average.numerator += prices.value[p];
                ++count;
            }
        }
    }
    average.denominator = Int128::from_int64(count);
    return average;
}

}  // namespace

template <typename Int>
Fraction smallest_average(const SeriesRules& rules, const ScaledPrices& prices, int size, Weights<Int>& w,
                          CompletionTable<Int>& table) {
    // Start from the average of the `size` cheapest prices: usually just
    // below A, so that the first lightest candidate is close to the best.
    std::vector<Int128> cheapest = prices.value;
    std::nth_element(cheapest.begin(), cheapest.begin() + (size - 1), cheapest.end());
    Fraction average{Int128{}, Int128::from_int64(size)};
    for (int i = 0; i < size; ++i) {
        average.numerator += cheapest[i];
    }
    // The rounds' buffers (weights, table, walk, groups) are made in the first
    // round and reused after it.
    MainWalk<Int> walk(rules, w, table, table.start, false);
    std::vector<Group> groups;
    const int rounds = rules.n - size + 2;  // claim 9
    for (int round = 0; round < rounds; ++round) {
        set_weights(w, rules, prices, average, true);
        fill_table(rules, w, size, table);
        if (table.start == Int{}) {
            return average;
        }
        walk.set_bound(table.start, false);
        average = lightest_candidate(rules, prices, w, walk, groups);
    }
    throw Abort("Dinkelbach's iteration did not settle within its bound");
}

template Fraction smallest_average(const SeriesRules&, const ScaledPrices&, int, Weights<std::int64_t>&,
                                   CompletionTable<std::int64_t>&);
template Fraction smallest_average(const SeriesRules&, const ScaledPrices&, int, Weights<Int128>&,
                                   CompletionTable<Int128>&);

}  // namespace tariffsieve::search
