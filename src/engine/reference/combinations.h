// Enumerator of the k-combinations of a pool, in lexicographic order of
// positions, one combination per request.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/reference/priced_period.h"

namespace tariffsieve::reference {

class Combinations {
public:
    // The pool must outlive the enumerator; it is read, never changed.
    Combinations(std::span<const PricedPeriod> pool, std::uint64_t k);

    // Replaces combination by the next one (pool elements in position order)
    // and returns true, or returns false once none is left. The first request
    // yields positions 0 .. k - 1; k = 0 yields one empty combination.
    bool next(std::vector<PricedPeriod>& combination);

private:
    std::span<const PricedPeriod> pool_;
    std::uint64_t k_;
    std::vector<std::uint64_t> positions_;  // strictly ascending
    bool first_request_ = true;

    void copy_out(std::vector<PricedPeriod>& combination) const;
};

}  // namespace tariffsieve::reference
