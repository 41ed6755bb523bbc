// The engine's entry: parses the threshold, checks the request rules, answers
// the trivial requests and hands the rest to a strategy.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "decimal/decimal.h"
#include "engine/selection_result.h"

namespace tariffsieve {

// Which search answers requests that reach a strategy. Both give the same
// answer for every request; the exhaustive one is the reference the fast one
// is tested against, and the fast one falls back to it for prices whose sums
// could round or overflow.
enum class Search { fast, exhaustive };

SelectionResult get_cheapest_periods(std::span<const Decimal> prices, std::string_view low_price_threshold,
                                     std::uint64_t min_selections, std::uint64_t min_consecutive_periods,
                                     std::uint64_t max_gap_between_periods, std::uint64_t max_gap_from_start,
                                     bool aggressive, Search search = Search::fast);

}  // namespace tariffsieve
