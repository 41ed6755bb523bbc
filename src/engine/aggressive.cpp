// The aggressive search: lowest average price per selected period.
#include <string>
#include <utility>

#include "engine/combinations.h"
#include "engine/cost.h"
#include "engine/extension.h"
#include "engine/strategies.h"
#include "engine/validity.h"

namespace tariffsieve {

namespace {

struct Selection {
    IndexList indices;
    Decimal cost;
    Decimal average;
};

}  // namespace

SelectionResult get_cheapest_periods_aggressive(std::span<const PricedPeriod> all_periods,
                                                std::span<const PricedPeriod> cheap_items,
                                                std::uint64_t min_selections, std::uint64_t min_consecutive_periods,
                                                std::uint64_t max_gap_between_periods,
                                                std::uint64_t max_gap_from_start) {
    const std::uint64_t n = all_periods.size();
    // The total is summed before any search, so an overflowing series aborts
    // at once. While nothing is held the best average is the largest value,
    // which a candidate must undercut strictly.
    Selection best{{}, cost_of(all_periods), Decimal::max_value()};

    std::vector<PricedPeriod> main_combination;
    for (std::uint64_t k = min_selections; k <= n; ++k) {
        Combinations combinations(all_periods, k);
        while (combinations.next(main_combination)) {
            if (!is_valid_combination(main_combination, min_consecutive_periods, max_gap_between_periods,
                                      max_gap_from_start, n)) {
                continue;
            }
            const std::vector<Block> groups = cheap_groups(main_combination, cheap_items);

            // Within one main combination the earlier candidate keeps a tie:
            // the combination alone first, then the masks in increasing order.
            const Decimal main_cost = cost_of(main_combination);
            Selection running{indices_of(main_combination), main_cost,
                              average_of(main_cost, main_combination.size())};
            const std::uint32_t mask_end = group_mask_end(groups.size());
            for (std::uint32_t mask = 1; mask < mask_end; ++mask) {
                IndexList merged = merged_candidate(main_combination, groups, mask);
                // A superset of a valid main combination keeps its gap rules;
                // only the block lengths can break.
                if (!satisfies_block_rule<std::uint64_t>(merged, min_consecutive_periods, n)) {
                    continue;
                }
                const Decimal cost = cost_of(all_periods, merged);
                const Decimal average = average_of(cost, merged.size());
                if (average < running.average) {
                    running = Selection{std::move(merged), cost, average};
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

}  // namespace tariffsieve
