// The entry plan: the one pipeline at plan's length limit.
#include "engine/plan.h"

#include <string>

#include "engine/pipeline.h"

namespace tariffsieve {

namespace {

const std::string too_many_message = "prices cannot contain more than " + std::to_string(max_plan_periods) + " items";

}  // namespace

SelectionResult plan(std::span<const Decimal> prices, const Decimal& low_price_threshold, const TimingRules& rules,
                     bool aggressive) {
    return answer_request(prices, low_price_threshold, rules, aggressive, {max_plan_periods, too_many_message.c_str()});
}

}  // namespace tariffsieve
