// Costs and averages of selections. A cost starts from zero and adds prices in
// the order given (ascending index for every selection); an average is the
// cost divided by the count, compared as the quotient computed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "decimal/decimal.h"
#include "engine/reference/priced_period.h"

namespace tariffsieve::reference {

// The price of period index; an index outside the series aborts.
const Decimal& price_of(std::span<const PricedPeriod> all_periods, std::uint64_t index);

// The sum of the periods' prices; an overflowing sum aborts.
Decimal cost_of(std::span<const PricedPeriod> periods);

// The sum of the prices of indices, looked up in all_periods.
Decimal cost_of(std::span<const PricedPeriod> all_periods, std::span<const std::uint64_t> indices);

// cost / count, count at least 1.
Decimal average_of(const Decimal& cost, std::uint64_t count);

// The pairs (index, price) for indices, looked up in all_periods.
std::vector<PricedPeriod> priced_form(std::span<const PricedPeriod> all_periods, std::span<const std::uint64_t> indices);

}  // namespace tariffsieve::reference
