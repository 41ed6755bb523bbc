// The one pipeline behind get_cheapest_periods and plan.
#include "engine/pipeline.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/reference/cheapest_periods.h"
#include "engine/request_rules.h"
#include "engine/search/cheapest_periods.h"
#include "engine/search/series_rules.h"

namespace tariffsieve {

SelectionResult answer_request(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                               const TimingRules& rules, bool aggressive, const LengthLimit& limit) {
    const std::uint64_t n = prices.size();
    if (const char* message = broken_request_rule(n, rules, limit.max_periods, limit.too_many_message)) {
        return SelectionResult::failure(message);
    }
    const search::SeriesRules series = search::series_rules(prices, low_price_threshold, rules);
    // Every period must, or may, be selected: no timing rule is consulted.
    if (rules.min_selections == n || std::find(series.cheap.begin(), series.cheap.end(), 0) == series.cheap.end()) {
        return every_index(n);
    }
    if (std::optional<SelectionResult> answer = search::cheapest_periods(prices, series, aggressive)) {
        return std::move(*answer);
    }
    // Too many near-ties, or prices of both signs near the decimal range. A
    // short series is still answered exactly, by trying every selection; a
    // long one would take longer than anyone can wait.
    if (n <= max_exhaustive_periods) {
        return reference::cheapest_periods(prices, low_price_threshold, rules, aggressive);
    }
    return SelectionResult::failure(
        "prices carry too many decimals (or are too large) for an exact plan of more than 28 periods: their sums "
        "round, and too many selections tie within the rounding to be told apart quickly; round the prices to "
        "fewer decimals");
}

}  // namespace tariffsieve
