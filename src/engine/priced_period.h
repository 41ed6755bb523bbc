// A period of the price series: its position in the list and its price.
#pragma once

#include <cstdint>
#include <vector>

#include "decimal/decimal.h"

namespace tariffsieve {

struct PricedPeriod {
    std::uint64_t index = 0;
    Decimal price;
};

using IndexList = std::vector<std::uint64_t>;  // strictly ascending period indices

}  // namespace tariffsieve
