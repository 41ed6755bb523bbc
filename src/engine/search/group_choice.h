// A main combination's cheap groups, and the numerically smallest choice of
// them (the group mask) whose candidate weighs at most a bound (claim 6).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/search/series_rules.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

// A maximal run of cheap periods outside a main combination.
struct Group {
    int first = 0;
    int last = 0;
    bool admissible = false;  // adding it keeps every block long enough (claim 2)
};

// M's cheap groups in index order, admissible or not, into `groups` (whose
// room is reused). `main` ascends.
void find_cheap_groups(const SeriesRules& rules, const std::vector<int>& main, std::vector<Group>& groups);

inline std::vector<Group> cheap_groups(const SeriesRules& rules, const std::vector<int>& main) {
    std::vector<Group> groups;
    find_cheap_groups(rules, main, groups);
    return groups;
}

// M with every admissible group, ascending: the choice that adds the most
// cheap periods (claim 7).
std::vector<std::uint64_t> with_every_admissible(const std::vector<int>& main, const std::vector<Group>& groups);

// M with the chosen groups, ascending.
std::vector<std::uint64_t> selection_of(const std::vector<int>& main, const std::vector<Group>& groups,
                                        const std::vector<bool>& chosen);

template <typename Int>
Int weight_of(const Weights<Int>& w, const std::vector<int>& main) {
    Int sum{};
    for (int p : main) {
        sum += w.of_period[p];
    }
    return sum;
}

// The smallest mask whose candidate weighs at most `bound` (less when
// strict): bits are decided from the highest group down, each left clear
// when the groups below it can still reach the bound on their own. The
// caller knows that some mask reaches it.
template <typename Int>
std::vector<bool> first_reaching_mask(const Weights<Int>& w, const std::vector<int>& main,
                                      const std::vector<Group>& groups, const Int& bound, bool strict) {
    auto within = [&](const Int& total) { return strict ? total < bound : !(bound < total); };
    auto helps = [&](const Group& group) {  // the lightest the group can add
        return group.admissible ? min_with_zero(w.sum(group.first, group.last)) : Int{};
    };
    Int helps_below{};  // the lightest the groups below the current one can add
    for (const Group& group : groups) {
        helps_below += helps(group);
    }
    std::vector<bool> chosen(groups.size());
    Int spent = weight_of(w, main);
    for (std::size_t j = groups.size(); j-- > 0;) {
        helps_below = helps_below - helps(groups[j]);
        if (!within(spent + helps_below)) {
            chosen[j] = true;
            spent += w.sum(groups[j].first, groups[j].last);
        }
    }
    return chosen;
}

}  // namespace tariffsieve::search
