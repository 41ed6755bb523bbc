// The numbers a plan shows: the chosen periods grouped into runs, with the
// total and average price of each run and of the whole selection, computed
// with the engine's own decimal arithmetic so that no caller sums or rounds
// prices again.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve {

// A total and the average of the count prices it sums.
struct PriceSum {
    Decimal total;
    Decimal average;
};

// A maximal run of consecutive chosen periods, first to last inclusive.
struct PlannedRun {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    PriceSum sum;
};

struct SelectionTotals {
    std::optional<PriceSum> sum;  // none when nothing is chosen
    std::vector<PlannedRun> runs;
};

// The prices of indices (strictly ascending, within prices) added from zero
// in ascending order, as the searches add a selection's cost, and that total
// divided by the count, as the aggressive strategy averages. A sum beyond
// the decimal range aborts with addition_overflowed_message, like the
// searches' own sums.
PriceSum price_sum(std::span<const Decimal> prices, std::span<const std::uint64_t> indices);

// The totals of a selection and of each of its runs.
SelectionTotals selection_totals(std::span<const Decimal> prices, std::span<const std::uint64_t> indices);

// plan's answer and, when it is a selection, its totals.
struct PlanWithTotals {
    SelectionResult selection;
    SelectionTotals totals;
};
PlanWithTotals plan_with_totals(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                const TimingRules& rules, bool aggressive);

}  // namespace tariffsieve
