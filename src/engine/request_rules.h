// The request rules both entries check first, and the answer that selects
// every period.
#pragma once

#include <cstdint>

#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// The longest series get_cheapest_periods takes, and the longest that the
// exhaustive reference, which tries every combination, answers in time.
inline constexpr std::uint64_t max_exhaustive_periods = 28;

// Every index of a series of n periods: the answer when every period must,
// or may, be selected.
SelectionResult every_index(std::uint64_t n);

// The fixed message of the first request rule that a series of n periods and
// rules break, or null. The rules are checked in a fixed order; a series
// longer than max_periods breaks the second rule, with too_many_message.
const char* broken_request_rule(std::uint64_t n, const TimingRules& rules, std::uint64_t max_periods,
                                const char* too_many_message);

}  // namespace tariffsieve
