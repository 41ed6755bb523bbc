// The valid main combinations of a request, size by size: the loop both
// exhaustive searches share.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/reference/combinations.h"
#include "engine/reference/priced_period.h"
#include "engine/timing_rules.h"

namespace tariffsieve::reference {

// Sizes run from min_selections up to the series length; within a size the
// combinations come in lexicographic order of positions. The searches stop
// after the first size that gave them an answer.
class MainCombinations {
public:
    // Sums every price before anything is searched, so that a series whose
    // total overflows aborts at once ("Addition overflowed"), whichever search
    // runs and however early it would stop. The periods must outlive this.
    MainCombinations(std::span<const PricedPeriod> all_periods, const TimingRules& rules);

    // Moves to the next size (the first call to min_selections); false once
    // past the series length.
    bool next_size();

    // Replaces combination by the next valid one of the current size and
    // returns true, or returns false once the size has none left.
    bool next(std::vector<PricedPeriod>& combination);

private:
    std::span<const PricedPeriod> all_periods_;
    TimingRules rules_;
    std::uint64_t next_size_;
    std::optional<Combinations> of_size_;
};

}  // namespace tariffsieve::reference
