// The steps both entries run, at their own length limit: request rules,
// trivial answers, the one exact search, then the exhaustive reference for
// short series or a refusal for long ones.
#pragma once

#include <cstdint>
#include <span>

#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// The longest series an entry takes, and its message for a longer one.
struct LengthLimit {
    std::uint64_t max_periods = 0;
    const char* too_many_message = nullptr;
};

// The cheapest periods of prices; a broken request rule, or prices that no
// search answers in time, is an error value.
SelectionResult answer_request(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                               const TimingRules& rules, bool aggressive, const LengthLimit& limit);

}  // namespace tariffsieve
