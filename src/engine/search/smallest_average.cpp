// Dinkelbach's iteration over the completion table (claim 9).
#include "engine/search/smallest_average.h"

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/group_choice.h"
#include "engine/search/main_walk.h"

namespace tariffsieve::search {

namespace {

// Whether average x lies below average y: costs below 2^96 (claim 1), counts
// below 2^11.
bool below(const Fraction& x, const Fraction& y) {
    return times_small(x.numerator, y.denominator.lo) < times_small(y.numerator, x.denominator.lo);
}

// The average of the given periods' prices, as cost over count.
Fraction average_of(const ScaledPrices& prices, const std::vector<int>& periods) {
    Fraction average{Int128{}, Int128::from_int64(static_cast<std::int64_t>(periods.size()))};
    for (int p : periods) {
        average.numerator += prices.value[p];
    }
    return average;
}

// The lightest candidate under the table's weights, its main combination M
// with the groups that weigh below zero; then, M kept, the choice of M's
// admissible groups with the smallest average: Dinkelbach's iteration on the
// groups alone, which takes a group exactly when its own average lies below
// the candidate's. Any choice of admissible groups makes a candidate (claim
// 2), so the answer is a real candidate at least as good as the lightest,
// and the next round starts nearer to A. Its exact cost and count. The walk
// and the groups' room are the caller's, kept from round to round.
template <typename Int>
Fraction improved_lightest(const SeriesRules& rules, const ScaledPrices& prices, const Weights<Int>& w,
                           MainWalk<Int>& walk, std::vector<Group>& groups, std::vector<Fraction>& group_costs) {
    const std::vector<int>& main = walk.first();
    const Fraction main_only = average_of(prices, main);
    find_cheap_groups(rules, main, groups);
    group_costs.clear();
    Fraction average = main_only;
    for (const Group& group : groups) {
        if (!group.admissible) {
            continue;
        }
        Fraction cost{Int128{}, Int128::from_int64(group.last - group.first + 1)};
        for (int p = group.first; p <= group.last; ++p) {
            cost.numerator += prices.value[p];
        }
        group_costs.push_back(cost);
        if (w.sum(group.first, group.last) < Int{}) {
            average.numerator += cost.numerator;
            average.denominator += cost.denominator;
        }
    }
    for (;;) {
        Fraction next = main_only;
        for (const Fraction& cost : group_costs) {
            if (below(cost, average)) {
                next.numerator += cost.numerator;
                next.denominator += cost.denominator;
            }
        }
        if (!below(next, average)) {
            return average;
        }
        average = next;
    }
}

// Whether `chosen` (ascending) is a valid main combination (claim 2).
bool valid_main(const SeriesRules& rules, const std::vector<int>& chosen) {
    int block = 0;
    int previous = -1;
    for (int p : chosen) {
        if (p - previous - 1 > (previous < 0 ? rules.max_start : rules.max_gap)) {
            return false;
        }
        if (p != previous + 1 || previous < 0) {
            if (previous >= 0 && block < rules.min_block) {
                return false;
            }
            block = 0;
        }
        ++block;
        previous = p;
    }
    return rules.n - 1 - previous <= rules.max_gap && (block >= rules.min_block || previous == rules.n - 1);
}

// A price in the width Int: it fits, as every weight sum does and a price
// times n is one; in 64 bits it is its low word.
template <typename Int>
Int price_in(const Int128& price) {
    if constexpr (std::is_same_v<Int, std::int64_t>) {
        return static_cast<std::int64_t>(price.lo);
    } else {
        return price;
    }
}

// The `size` cheapest periods, ascending; of the prices tied with the
// largest of them, the earliest.
template <typename Int>
std::vector<int> cheapest_of_size(const ScaledPrices& prices, int size) {
    const std::size_t n = prices.value.size();
    const std::unique_ptr<Int[]> keys(new Int[n]);
    for (std::size_t i = 0; i < n; ++i) {
        keys[i] = price_in<Int>(prices.value[i]);
    }
    std::nth_element(keys.get(), keys.get() + (size - 1), keys.get() + n);
    const Int largest = keys[static_cast<std::size_t>(size - 1)];
    int ties = 1;  // the periods at `largest` still to take; none after it lies below it
    for (int i = 0; i < size - 1; ++i) {
        ties += keys[static_cast<std::size_t>(i)] < largest ? 0 : 1;
    }
    std::vector<int> chosen;
    chosen.reserve(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < n; ++i) {
        const Int price = price_in<Int>(prices.value[i]);
        if (price < largest || (price == largest && ties-- > 0)) {
            chosen.push_back(static_cast<int>(i));
        }
    }
    return chosen;
}

// Up to this many periods a table without cheap runs costs about as much as
// one with them, so the guess's own table does not pay for the rounds it saves.
constexpr int short_series = 12;

// The average the iteration starts from (claim 9). When the `size` cheapest
// prices make a valid main combination, their average, which no candidate
// undercuts: A (whichever of tied prices are taken). On a short series, their
// average all the same: a lower bound, whose lightest candidate the first
// round moves to. Else a real candidate near A: the cheapest main combination
// of the size (a table without cheap runs, cheaper to fill) with its best
// choice of groups.
template <typename Int>
Fraction first_guess(const SeriesRules& rules, const ScaledPrices& prices, int size, Weights<Int>& w,
                     CompletionTable<Int>& table, MainWalk<Int>& walk, std::vector<Group>& groups,
                     std::vector<Fraction>& group_costs) {
    const std::vector<int> cheapest = cheapest_of_size<Int>(prices, size);
    if (rules.n <= short_series || valid_main(rules, cheapest)) {
        return average_of(prices, cheapest);
    }
    set_weights(w, rules, prices, {Int128{}, Int128::from_int64(1)}, false);
    fill_table(rules, w, size, table);
    walk.set_bound(table.start, false);
    return improved_lightest(rules, prices, w, walk, groups, group_costs);
}

}  // namespace

template <typename Int>
Fraction smallest_average(const SeriesRules& rules, const ScaledPrices& prices, int size, Weights<Int>& w,
                          CompletionTable<Int>& table) {
    // The rounds' buffers (weights, table, walk, groups) are made in the first
    // round and reused after it.
    MainWalk<Int> walk(rules, w, table, table.start, false);
    std::vector<Group> groups;
    std::vector<Fraction> group_costs;
    Fraction average = first_guess(rules, prices, size, w, table, walk, groups, group_costs);
    const int rounds = rules.n - size + 2;  // claim 9
    for (int round = 0; round < rounds; ++round) {
        set_weights(w, rules, prices, average, true);
        fill_table(rules, w, size, table);
        if (table.start == Int{}) {
            return average;
        }
        walk.set_bound(table.start, false);
        average = improved_lightest(rules, prices, w, walk, groups, group_costs);
    }
    throw Abort("Dinkelbach's iteration did not settle within its bound");
}

template Fraction smallest_average(const SeriesRules&, const ScaledPrices&, int, Weights<std::int64_t>&,
                                   CompletionTable<std::int64_t>&);
template Fraction smallest_average(const SeriesRules&, const ScaledPrices&, int, Weights<Int128>&,
                                   CompletionTable<Int128>&);

}  // namespace tariffsieve::search
