// The entry of plan: the request rules at plan's length limit, the trivial
// answers, then the exact search; the exhaustive search only for short series
// whose sums could round.
#include "engine/plan.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "engine/request.h"
#include "engine/search/exact_search.h"
#include "engine/search/literal_search.h"

namespace tariffsieve {

namespace {

const std::string too_many_message = "prices cannot contain more than " + std::to_string(max_plan_periods) + " items";

}  // namespace

SelectionResult plan(std::span<const Decimal> prices, const Decimal& low_price_threshold, const TimingRules& rules,
                     bool aggressive) {
    const std::uint64_t n = prices.size();
    if (const char* message = broken_request_rule(n, rules, max_plan_periods, too_many_message.c_str())) {
        return SelectionResult::failure(message);
    }
    const search::IntegerSeries series = search::series_rules(prices, low_price_threshold, rules);
    // Every period must, or may, be selected: no timing rule is consulted.
    if (rules.min_selections == n || std::find(series.cheap.begin(), series.cheap.end(), 0) == series.cheap.end()) {
        return every_index(n);
    }
    if (std::optional<SelectionResult> answer = search::exact_search(prices, series, aggressive)) {
        return std::move(*answer);
    }
    // Sums could round: their literal values, for the near-ties only.
    if (std::optional<SelectionResult> answer = search::literal_search(prices, series, aggressive)) {
        return std::move(*answer);
    }
    // Too many near-ties, or prices of both signs near the decimal range. A
    // short series is still answered exactly, by trying every selection; a
    // long one would take longer than anyone can wait.
    if (n <= max_exhaustive_periods) {
        return get_cheapest_periods(prices, low_price_threshold, rules, aggressive, Search::exhaustive);
    }
    return SelectionResult::failure(
        "prices carry too many decimals (or are too large) for an exact plan of more than 28 periods: their sums "
        "round, and too many selections tie within the rounding to be told apart quickly; round the prices to "
        "fewer decimals");
}

}  // namespace tariffsieve
