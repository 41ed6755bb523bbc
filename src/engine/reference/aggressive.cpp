// The aggressive search: lowest average price per selected period.
#include <string>
#include <utility>

#include "engine/reference/cost.h"
#include "engine/reference/extension.h"
#include "engine/reference/main_combinations.h"
#include "engine/reference/strategies.h"
#include "engine/reference/validity.h"

namespace tariffsieve::reference {

SelectionResult get_cheapest_periods_aggressive(std::span<const PricedPeriod> all_periods,
                                                std::span<const PricedPeriod> cheap_items, const TimingRules& rules) {
    struct Selection {
        IndexList indices;
        Decimal average;
    };
    const std::uint64_t n = all_periods.size();
    // While nothing is held the best average is the largest value, which a
    // candidate must undercut strictly.
    Selection best{{}, Decimal::max_value()};

    MainCombinations main_combinations(all_periods, rules);
    std::vector<PricedPeriod> main_combination;
    while (main_combinations.next_size()) {
        while (main_combinations.next(main_combination)) {
            const std::vector<Block> groups = cheap_groups(main_combination, cheap_items);

            // Within one main combination the earlier candidate keeps a tie:
            // the combination alone first, then the masks in increasing order.
            const Decimal main_cost = cost_of(main_combination);
            Selection running{indices_of(main_combination), average_of(main_cost, main_combination.size())};
            const std::uint32_t mask_end = group_mask_end(groups.size());
            for (std::uint32_t mask = 1; mask < mask_end; ++mask) {
                IndexList merged = merged_candidate(main_combination, groups, mask);
                // A superset of a valid main combination keeps its gap rules;
                // only the block lengths can break.
                if (!satisfies_block_rule<std::uint64_t>(merged, rules.min_consecutive_periods, n)) {
                    continue;
                }
                const Decimal cost = cost_of(all_periods, merged);
                const Decimal average = average_of(cost, merged.size());
                if (average < running.average) {
                    running = Selection{std::move(merged), average};
                }
            }

            // Across main combinations, too, the earlier one keeps a tie.
            if (running.average < best.average) {
                best = std::move(running);
            }
        }
        if (!best.indices.empty()) {
            sort_ascending(best.indices);
            return SelectionResult::success(std::move(best.indices));
        }
    }
    return SelectionResult::failure("No valid combination found that satisfies the constraints for " +
                                    std::to_string(n) + " items");
}

}  // namespace tariffsieve::reference
