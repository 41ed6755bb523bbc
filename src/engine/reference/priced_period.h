// A period of the price series: its position in the list and its price.
#pragma once

#include <cstdint>

#include "decimal/decimal.h"
#include "engine/selection_result.h"

namespace tariffsieve::reference {

struct PricedPeriod {
    std::uint64_t index = 0;
    Decimal price;
};

}  // namespace tariffsieve::reference
