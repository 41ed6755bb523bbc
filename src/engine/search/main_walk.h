// A walk through the main combinations of a table's size in lexicographic
// order, restricted to those with a completion that weighs at most a bound
// (claim 5).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/search/completion_table.h"
#include "engine/search/series_rules.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

// Choices are made at the start and after every period whose block is long
// enough; a block's first c periods follow without choice (claim 2). Within
// the bound means a weight at most `bound`, or less than it when strict.
template <typename Int>
class MainWalk {
public:
    MainWalk(const SeriesRules& rules, const Weights<Int>& w, const CompletionTable<Int>& table, const Int& bound,
             bool strict)
        : rules_(rules), w_(w), table_(table) {
        set_bound(bound, strict);
    }

    // A new bound for the walks that follow: the weights and the table may
    // have been made again in the same buffers.
    void set_bound(const Int& bound, bool strict) {
        // Weights are integers: below the bound is at most one less. A real
        // total also stays below the floor.
        const Int one = narrow<Int>(Int128::from_int64(1));
        const Int highest = strict ? bound - one : bound;
        ceiling_ = highest < WeightWidth<Int>::floor ? highest : WeightWidth<Int>::floor - one;
    }

    // The first main combination within the bound; the caller knows that one
    // exists. The list lives in the walk until its next step.
    const std::vector<int>& first();

    // The next main combination after `main` within the bound, or an empty list.
    const std::vector<int>& after(const std::vector<int>& main);

private:
    // The state before a choice, and the period chosen there.
    struct Choice {
        int p;
        int r;
        Int spent;
        std::size_t placed;
        int next;
    };

    const SeriesRules& rules_;
    const Weights<Int>& w_;
    const CompletionTable<Int>& table_;
    Int ceiling_;  // the heaviest total within the bound
    std::vector<int> main_;
    std::vector<Choice> choices_;
    int p_ = -1;          // the last period placed, -1 before the first
    int r_ = 0;           // periods still to place
    Int spent_{};         // the weight of the periods and gaps placed so far

    bool within(const Int& total) const;
    void restart();
    void rewind(const Choice& choice);
    int first_option(int from) const;
    int first_block(int low, int high) const;
    void take(int next);
    bool complete();
    void replay(const std::vector<int>& main);
};

extern template class MainWalk<std::int64_t>;
extern template class MainWalk<Int128>;

// The lexicographically first main combination of the table's size with a
// completion within `bound`. The caller knows that one exists; not finding
// it is a broken invariant.
template <typename Int>
std::vector<int> first_main_combination(const SeriesRules& rules, const Weights<Int>& w,
                                        const CompletionTable<Int>& table, const Int& bound, bool strict) {
    return MainWalk<Int>(rules, w, table, bound, strict).first();
}

}  // namespace tariffsieve::search
