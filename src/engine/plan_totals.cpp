// Runs, totals and averages of a selection.
#include "engine/plan_totals.h"

#include "decimal/abort.h"
#include "engine/plan.h"

namespace tariffsieve {

PriceSum price_sum(std::span<const Decimal> prices, std::span<const std::uint64_t> indices) {
    if (indices.empty()) {
        throw Abort("Average of no prices");
    }
    Decimal total = Decimal::zero();
    for (const std::uint64_t index : indices) {
        if (index >= prices.size()) {
            throw Abort("Index out of bounds");
        }
        total += prices[index];
    }
    return {total, total / Decimal::from_count(indices.size())};
}

SelectionTotals selection_totals(std::span<const Decimal> prices, std::span<const std::uint64_t> indices) {
    SelectionTotals totals;
    if (indices.empty()) {
        return totals;
    }
    totals.sum = price_sum(prices, indices);
    std::size_t start = 0;
    for (std::size_t i = 1; i <= indices.size(); ++i) {
        if (i == indices.size() || indices[i] != indices[i - 1] + 1) {
            const std::span<const std::uint64_t> run = indices.subspan(start, i - start);
            totals.runs.push_back({run.front(), run.back(), price_sum(prices, run)});
            start = i;
        }
    }
    return totals;
}

PlanWithTotals plan_with_totals(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                const TimingRules& rules, bool aggressive) {
    PlanWithTotals answer{plan(prices, low_price_threshold, rules, aggressive), {}};
    if (answer.selection.ok()) {
        answer.totals = selection_totals(prices, answer.selection.indices);
    }
    return answer;
}

}  // namespace tariffsieve
