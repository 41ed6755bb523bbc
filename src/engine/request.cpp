// The engine's entry: request rules, trivial answers, dispatch.
#include "engine/request.h"

#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "engine/fast_search.h"
#include "engine/search/literal_search.h"
#include "engine/priced_period.h"
#include "engine/strategies.h"

namespace tariffsieve {

namespace {

}  // namespace

SelectionResult every_index(std::uint64_t n) {
    IndexList indices(n);
    std::iota(indices.begin(), indices.end(), std::uint64_t{0});
    return SelectionResult::success(std::move(indices));
}

const char* broken_request_rule(std::uint64_t n, const TimingRules& rules, std::uint64_t max_periods,
                                const char* too_many_message) {
    if (n == 0) {
        return "prices cannot be empty";
    }
    if (n > max_periods) {
        return too_many_message;
    }
    if (rules.min_selections == 0) {
        return "min_selections must be greater than 0";
    }
    if (rules.min_selections > n) {
        return "min_selections cannot be greater than total number of items";
    }
    if (rules.min_consecutive_periods == 0) {
        return "min_consecutive_periods must be greater than 0";
    }
    if (rules.min_consecutive_periods > rules.min_selections) {
        return "min_consecutive_periods cannot be greater than min_selections";
    }
    if (rules.max_gap_from_start > rules.max_gap_between_periods) {
        return "max_gap_from_start must be less than or equal to max_gap_between_periods";
    }
    return nullptr;
}

SelectionResult get_cheapest_periods(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                     const TimingRules& rules, bool aggressive, Search search) {
    const std::uint64_t n = prices.size();
    if (const char* message =
            broken_request_rule(n, rules, max_exhaustive_periods, "prices cannot contain more than 28 items")) {
        return SelectionResult::failure(message);
    }

    std::vector<PricedPeriod> all_periods;
    all_periods.reserve(n);
    std::vector<PricedPeriod> cheap_items;
    for (std::uint64_t i = 0; i < n; ++i) {
        all_periods.push_back({i, prices[i]});
        if (prices[i] <= low_price_threshold) {
            cheap_items.push_back(all_periods.back());
        }
    }

    // Every period must, or may, be selected: no timing rule is consulted.
    if (rules.min_selections == n || cheap_items.size() == n) {
        return every_index(n);
    }
    if (search == Search::fast) {
        if (std::optional<SelectionResult> answer = fast_cheapest_periods(all_periods, cheap_items, rules, aggressive)) {
            return std::move(*answer);
        }
        // Sums that could round: their literal values, for the near-ties only.
        if (std::optional<SelectionResult> answer =
                search::literal_search(prices, search::series_rules(prices, low_price_threshold, rules), aggressive)) {
            return std::move(*answer);
        }
    }
    if (aggressive) {
        return get_cheapest_periods_aggressive(all_periods, cheap_items, rules);
    }
    return get_cheapest_periods_conservative(all_periods, cheap_items, rules);
}

}  // namespace tariffsieve
