// The conservative search: the cheapest valid main combination, then as many
// cheap periods added to it as the timing rules allow.
#include <optional>
#include <string>
#include <utility>

#include "engine/reference/cost.h"
#include "engine/reference/extension.h"
#include "engine/reference/main_combinations.h"
#include "engine/reference/strategies.h"
#include "engine/reference/validity.h"

namespace tariffsieve::reference {

namespace {

// How many of indices are the index of some cheap item.
std::uint64_t cheap_count(std::span<const std::uint64_t> indices, std::span<const PricedPeriod> cheap_items) {
    std::uint64_t count = 0;
    for (const std::uint64_t index : indices) {
        for (const PricedPeriod& item : cheap_items) {
            if (item.index == index) {
                ++count;
                break;
            }
        }
    }
    return count;
}

struct MainCombination {
    std::vector<PricedPeriod> periods;
    Decimal cost;
};

// The first valid combination of the smallest feasible size that reaches the
// lowest cost; a tie keeps the earlier one.
std::optional<MainCombination> cheapest_main_combination(std::span<const PricedPeriod> all_periods,
                                                         const TimingRules& rules) {
    std::optional<MainCombination> held;
    MainCombinations main_combinations(all_periods, rules);
    std::vector<PricedPeriod> combination;
    while (main_combinations.next_size()) {
        while (main_combinations.next(combination)) {
            const Decimal cost = cost_of(combination);
            if (!held || cost < held->cost) {
                held = MainCombination{combination, cost};
            }
        }
        // Only a success at this size can have set it: an earlier one ends the search.
        if (held) {
            return held;
        }
    }
    return held;
}

}  // namespace

SelectionResult get_cheapest_periods_conservative(std::span<const PricedPeriod> all_periods,
                                                  std::span<const PricedPeriod> cheap_items, const TimingRules& rules) {
    const std::uint64_t n = all_periods.size();
    const std::optional<MainCombination> main_combination = cheapest_main_combination(all_periods, rules);
    if (!main_combination) {
        return SelectionResult::failure("No valid main combination found that satisfies the constraints for " +
                                        std::to_string(n) + " items");
    }

    // Every candidate is built from the main combination, never from the
    // running best. More cheap periods win; on an equal count the strictly
    // cheaper one; on a full tie the one held (so the smaller mask).
    IndexList best = indices_of(main_combination->periods);
    Decimal best_cost = main_combination->cost;
    const std::vector<Block> groups = cheap_groups(main_combination->periods, cheap_items);
    const std::uint32_t mask_end = group_mask_end(groups.size());
    for (std::uint32_t mask = 1; mask < mask_end; ++mask) {
        IndexList merged = merged_candidate(main_combination->periods, groups, mask);
        if (!satisfies_block_rule<std::uint64_t>(merged, rules.min_consecutive_periods, n)) {
            continue;
        }
        const std::vector<PricedPeriod> priced = priced_form(all_periods, merged);
        if (!is_valid_combination(priced, rules, n)) {
            continue;
        }
        const Decimal cost = cost_of(priced);
        const std::uint64_t merged_cheap = cheap_count(merged, cheap_items);
        const std::uint64_t best_cheap = cheap_count(best, cheap_items);
        if (merged_cheap > best_cheap || (merged_cheap == best_cheap && cost < best_cost)) {
            best = std::move(merged);
            best_cost = cost;
        }
    }
    sort_ascending(best);
    return SelectionResult::success(std::move(best));
}

}  // namespace tariffsieve::reference
