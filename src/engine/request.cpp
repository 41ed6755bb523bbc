// The engine's entry: threshold, request rules, trivial answers, dispatch.
#include "engine/request.h"

#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "engine/fast_search.h"
#include "engine/priced_period.h"
#include "engine/strategies.h"

namespace tariffsieve {

namespace {

constexpr std::uint64_t max_periods = 28;  // bounds the exhaustive searches

SelectionResult every_index(std::uint64_t n) {
    IndexList indices(n);
    std::iota(indices.begin(), indices.end(), std::uint64_t{0});
    return SelectionResult::success(std::move(indices));
}

// The message of the first request rule that fails, or null.
const char* broken_rule(std::uint64_t n, std::uint64_t min_selections, std::uint64_t min_consecutive_periods,
                        std::uint64_t max_gap_between_periods, std::uint64_t max_gap_from_start) {
    if (n == 0) {
        return "prices cannot be empty";
    }
    if (n > max_periods) {
        return "prices cannot contain more than 28 items";
    }
    if (min_selections == 0) {
        return "min_selections must be greater than 0";
    }
    if (min_selections > n) {
        return "min_selections cannot be greater than total number of items";
    }
    if (min_consecutive_periods == 0) {
        return "min_consecutive_periods must be greater than 0";
    }
    if (min_consecutive_periods > min_selections) {
        return "min_consecutive_periods cannot be greater than min_selections";
    }
    if (max_gap_from_start > max_gap_between_periods) {
        return "max_gap_from_start must be less than or equal to max_gap_between_periods";
    }
    return nullptr;
}

}  // namespace

SelectionResult get_cheapest_periods(std::span<const Decimal> prices, std::string_view low_price_threshold,
                                     std::uint64_t min_selections, std::uint64_t min_consecutive_periods,
                                     std::uint64_t max_gap_between_periods, std::uint64_t max_gap_from_start,
                                     bool aggressive, Search search) {
    // An unparsable threshold is reported before any request rule.
    const ParseResult threshold = from_str(low_price_threshold);
    if (!threshold.ok()) {
        return SelectionResult::failure("Invalid decimal");
    }

    std::vector<PricedPeriod> all_periods;
    all_periods.reserve(prices.size());
    for (std::uint64_t i = 0; i < prices.size(); ++i) {
        all_periods.push_back({i, prices[i]});
    }
    std::vector<PricedPeriod> cheap_items;
    for (const PricedPeriod& period : all_periods) {
        if (period.price <= threshold.value) {
            cheap_items.push_back(period);
        }
    }

    const std::uint64_t n = all_periods.size();
    if (const char* message =
            broken_rule(n, min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start)) {
        return SelectionResult::failure(message);
    }

    // Every period must, or may, be selected: no timing rule is consulted.
    if (min_selections == n || cheap_items.size() == n) {
        return every_index(n);
    }
    if (search == Search::fast) {
        if (std::optional<SelectionResult> answer =
                fast_cheapest_periods(all_periods, cheap_items, min_selections, min_consecutive_periods,
                                      max_gap_between_periods, max_gap_from_start, aggressive)) {
            return std::move(*answer);
        }
    }
    if (aggressive) {
        return get_cheapest_periods_aggressive(all_periods, cheap_items, min_selections, min_consecutive_periods,
                                               max_gap_between_periods, max_gap_from_start);
    }
    return get_cheapest_periods_conservative(all_periods, cheap_items, min_selections, min_consecutive_periods,
                                             max_gap_between_periods, max_gap_from_start);
}

}  // namespace tariffsieve
