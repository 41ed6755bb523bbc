// A request's timing rules in small integers, with the cheap flags: what
// every search step reads besides the prices.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "decimal/decimal.h"
#include "engine/timing_rules.h"

namespace tariffsieve::search {

struct SeriesRules {
    int n = 0;
    int min_block = 1;  // min_consecutive_periods
    int max_gap = 0;    // max_gap_between_periods, at most n
    int max_start = 0;  // max_gap_from_start, at most max_gap
    int min_size = 1;   // min_selections
    std::vector<std::uint8_t> cheap;
};

// The rules of a request that passed the request rules (n is at most
// max_plan_periods), and which periods cost at most the threshold.
SeriesRules series_rules(std::span<const Decimal> prices, const Decimal& low_price_threshold, const TimingRules& rules);

}  // namespace tariffsieve::search
