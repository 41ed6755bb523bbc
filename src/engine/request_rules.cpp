// The request rules, in the order their messages are given.
#include "engine/request_rules.h"

#include <numeric>
#include <utility>

namespace tariffsieve {

SelectionResult every_index(std::uint64_t n) {
    IndexList indices(n);
    std::iota(indices.begin(), indices.end(), std::uint64_t{0});
    return SelectionResult::success(std::move(indices));
}

const char* broken_request_rule(std::uint64_t n, const TimingRules& rules, std::uint64_t max_periods,
                                const char* too_many_message) {
    if (n == 0) {
        return "prices cannot be empty";
    }
    if (n > max_periods) {
        return too_many_message;
    }
    if (rules.min_selections == 0) {
        return "min_selections must be greater than 0";
    }
    if (rules.min_selections > n) {
        return "min_selections cannot be greater than total number of items";
    }
    if (rules.min_consecutive_periods == 0) {
        return "min_consecutive_periods must be greater than 0";
    }
    if (rules.min_consecutive_periods > rules.min_selections) {
        return "min_consecutive_periods cannot be greater than min_selections";
    }
    if (rules.max_gap_from_start > rules.max_gap_between_periods) {
        return "max_gap_from_start must be less than or equal to max_gap_between_periods";
    }
    return nullptr;
}

}  // namespace tariffsieve
