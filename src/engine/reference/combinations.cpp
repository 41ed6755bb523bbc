// Enumerator of the k-combinations of a pool, in lexicographic order.
#include "engine/reference/combinations.h"

#include <numeric>

namespace tariffsieve::reference {

Combinations::Combinations(std::span<const PricedPeriod> pool, std::uint64_t k) : pool_(pool), k_(k) {
    // A size above the pool yields nothing, so its tuple is never needed.
    if (k <= pool.size()) {
        positions_.resize(k);
        std::iota(positions_.begin(), positions_.end(), std::uint64_t{0});
    }
}

bool Combinations::next(std::vector<PricedPeriod>& combination) {
    const std::uint64_t m = pool_.size();
    if (first_request_) {
        if (m < k_) {
            return false;
        }
        first_request_ = false;
        copy_out(combination);
        return true;
    }
    if (k_ == 0) {
        return false;
    }
    // The rightmost position still below its highest possible value m - k + i.
    std::uint64_t i = k_;
    while (i > 0 && positions_[i - 1] == i - 1 + m - k_) {
        --i;
    }
    if (i == 0) {
        return false;
    }
    --i;
    ++positions_[i];
    for (std::uint64_t j = i + 1; j < k_; ++j) {
        positions_[j] = positions_[j - 1] + 1;
    }
    copy_out(combination);
    return true;
}

void Combinations::copy_out(std::vector<PricedPeriod>& combination) const {
    combination.clear();
    for (const std::uint64_t position : positions_) {
        combination.push_back(pool_[position]);
    }
}

}  // namespace tariffsieve::reference
