// TEMPORARY STAND-IN for the engine's plan, so that its Python binding can be
// built and tested before the search exists. Delete this file (and its line
// in CMakeLists.txt) when the real plan lands: it checks the request rules
// with plan's messages, adds up the prices as a search would (so that
// overflowing sums abort as they do there) and answers every index.
#include "engine/plan.h"

#include <numeric>
#include <string>

namespace tariffsieve {

SelectionResult plan(std::span<const Decimal> prices, const Decimal& /*low_price_threshold*/,
                     const TimingRules& rules, bool /*aggressive*/) {
    const std::uint64_t n = prices.size();
    if (n == 0) {
        return SelectionResult::failure("prices cannot be empty");
    }
    if (n > max_plan_periods) {
        return SelectionResult::failure("prices cannot contain more than " + std::to_string(max_plan_periods) +
                                        " items");
    }
    if (rules.min_selections == 0) {
        return SelectionResult::failure("min_selections must be greater than 0");
    }
    if (rules.min_selections > n) {
        return SelectionResult::failure("min_selections cannot be greater than total number of items");
    }
    if (rules.min_consecutive_periods == 0) {
        return SelectionResult::failure("min_consecutive_periods must be greater than 0");
    }
    if (rules.min_consecutive_periods > rules.min_selections) {
        return SelectionResult::failure("min_consecutive_periods cannot be greater than min_selections");
    }
    if (rules.max_gap_from_start > rules.max_gap_between_periods) {
        return SelectionResult::failure("max_gap_from_start must be less than or equal to max_gap_between_periods");
    }
    Decimal sum;
    for (const Decimal& price : prices) {
        sum += price;
    }
    IndexList indices(n);
    std::iota(indices.begin(), indices.end(), std::uint64_t{0});
    return SelectionResult::success(std::move(indices));
}

}  // namespace tariffsieve
