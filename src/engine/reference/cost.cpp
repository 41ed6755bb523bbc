// Costs and averages of selections.
#include "engine/reference/cost.h"

#include "decimal/abort.h"

namespace tariffsieve::reference {

const Decimal& price_of(std::span<const PricedPeriod> all_periods, std::uint64_t index) {
    if (index >= all_periods.size()) {
        throw Abort("Index out of bounds");
    }
    return all_periods[index].price;
}

Decimal cost_of(std::span<const PricedPeriod> periods) {
    Decimal cost = Decimal::zero();
    for (const PricedPeriod& period : periods) {
        cost += period.price;
    }
    return cost;
}

Decimal cost_of(std::span<const PricedPeriod> all_periods, std::span<const std::uint64_t> indices) {
    Decimal cost = Decimal::zero();
    for (const std::uint64_t index : indices) {
        cost += price_of(all_periods, index);
    }
    return cost;
}

Decimal average_of(const Decimal& cost, std::uint64_t count) { return cost / Decimal::from_count(count); }

std::vector<PricedPeriod> priced_form(std::span<const PricedPeriod> all_periods, std::span<const std::uint64_t> indices) {
    std::vector<PricedPeriod> priced;
    priced.reserve(indices.size());
    for (const std::uint64_t index : indices) {
        priced.push_back({index, price_of(all_periods, index)});
    }
    return priced;
}

}  // namespace tariffsieve::reference
