// The entry get_cheapest_periods.
#include "engine/request.h"

#include "engine/pipeline.h"

namespace tariffsieve {

SelectionResult get_cheapest_periods(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                     const TimingRules& rules, bool aggressive) {
    return answer_request(prices, low_price_threshold, rules, aggressive,
                          {max_exhaustive_periods, "prices cannot contain more than 28 items"});
}

}  // namespace tariffsieve
