// The timing rules of a selection, checked in a fixed order.
#include "engine/reference/validity.h"

namespace tariffsieve::reference {

bool is_valid_combination(std::span<const PricedPeriod> candidate, const TimingRules& rules, std::uint64_t n) {
    if (candidate.empty()) {
        return false;
    }
    const std::uint64_t first = candidate.front().index;
    const std::uint64_t last = candidate.back().index;
    if (first > rules.max_gap_from_start || first > rules.max_gap_between_periods) {
        return false;
    }
    // An index past the series is tested on its own: with the widest gap
    // limit the wrapped trailing gap would let it through.
    if (last >= n || n - 1 - last > rules.max_gap_between_periods) {
        return false;
    }
    for (std::size_t i = 1; i < candidate.size(); ++i) {
        const std::uint64_t previous = candidate[i - 1].index;
        const std::uint64_t next = candidate[i].index;
        // Likewise a repeated or descending index: its wrapped gap is huge
        // but not always above the limit.
        if (next <= previous || next - previous - 1 > rules.max_gap_between_periods) {
            return false;
        }
    }
    return satisfies_block_rule(candidate, rules.min_consecutive_periods, n);
}

}  // namespace tariffsieve::reference
