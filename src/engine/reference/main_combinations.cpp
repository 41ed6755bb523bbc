// The valid main combinations of a request, size by size.
#include "engine/reference/main_combinations.h"

#include "engine/reference/cost.h"
#include "engine/reference/validity.h"

namespace tariffsieve::reference {

MainCombinations::MainCombinations(std::span<const PricedPeriod> all_periods, const TimingRules& rules)
    : all_periods_(all_periods), rules_(rules), next_size_(rules.min_selections) {
    cost_of(all_periods_);  // the total itself is not needed, only its overflow
}

bool MainCombinations::next_size() {
    if (next_size_ > all_periods_.size()) {
        of_size_.reset();
        return false;
    }
    of_size_.emplace(all_periods_, next_size_);
    ++next_size_;
    return true;
}

bool MainCombinations::next(std::vector<PricedPeriod>& combination) {
    while (of_size_ && of_size_->next(combination)) {
        if (is_valid_combination(combination, rules_, all_periods_.size())) {
            return true;
        }
    }
    return false;
}

}  // namespace tariffsieve::reference
