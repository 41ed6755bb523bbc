// The engine's entry: parses the threshold, checks the request rules, answers
// the trivial requests and hands the rest to a strategy.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "decimal/decimal.h"
#include "engine/selection_result.h"

namespace tariffsieve {

SelectionResult get_cheapest_periods(std::span<const Decimal> prices, std::string_view low_price_threshold,
                                     std::uint64_t min_selections, std::uint64_t min_consecutive_periods,
                                     std::uint64_t max_gap_between_periods, std::uint64_t max_gap_from_start,
                                     bool aggressive);

}  // namespace tariffsieve
