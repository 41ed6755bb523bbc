// The timing rules of a request, named as the Python parameters are: one value
// passed whole, so that two counts can never be swapped by position.
#pragma once

#include <cstdint>

namespace tariffsieve {

struct TimingRules {
    std::uint64_t min_selections = 0;
    std::uint64_t min_consecutive_periods = 0;
    std::uint64_t max_gap_between_periods = 0;
    std::uint64_t max_gap_from_start = 0;
};

}  // namespace tariffsieve
