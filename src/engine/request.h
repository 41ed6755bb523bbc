// The engine's entry: checks the request rules, answers the trivial requests
// and hands the rest to a search.
#pragma once

#include <cstdint>
#include <span>

#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// Which search answers requests that reach a strategy. Both give the same
// answer for every request; the exhaustive one is the reference the fast one
// is tested against, and the fast one falls back to it for prices whose sums
// could round or overflow.
enum class Search { fast, exhaustive };

// The longest series get_cheapest_periods takes: it bounds the exhaustive
// searches, which try every combination.
inline constexpr std::uint64_t max_exhaustive_periods = 28;

// Every index of a series of n periods: the answer when every period must,
// or may, be selected.
SelectionResult every_index(std::uint64_t n);

// The fixed message of the first request rule that a series of n periods and
// rules break, or null. The rules are checked in a fixed order; a series
// longer than max_periods breaks the second rule, with too_many_message.
const char* broken_request_rule(std::uint64_t n, const TimingRules& rules, std::uint64_t max_periods,
                                const char* too_many_message);

// The cheapest periods of prices; a broken request rule is an error value.
SelectionResult get_cheapest_periods(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                     const TimingRules& rules, bool aggressive, Search search = Search::fast);

}  // namespace tariffsieve
