// The timing rules of a selection: how late it may start, how long a gap may
// be left, and how long each consecutive block must be.
#pragma once

#include <cstdint>
#include <span>

#include "engine/reference/priced_period.h"
#include "engine/timing_rules.h"

namespace tariffsieve::reference {

inline std::uint64_t index_of(const PricedPeriod& period) { return period.index; }
inline std::uint64_t index_of(std::uint64_t index) { return index; }

// True when next directly follows previous; the largest index has no successor.
constexpr bool follows(std::uint64_t previous, std::uint64_t next) { return previous < next && next - previous == 1; }

// Every consecutive block holds at least min_consecutive_periods items, except
// a final block that reaches the last period (n - 1). Items are expected in
// ascending index order; an empty list has no block and fails.
template <typename Item>
bool satisfies_block_rule(std::span<const Item> items, std::uint64_t min_consecutive_periods, std::uint64_t n) {
    if (items.empty()) {
        return false;
    }
    std::uint64_t block_length = 1;
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (follows(index_of(items[i - 1]), index_of(items[i]))) {
            ++block_length;
            continue;
        }
        if (block_length < min_consecutive_periods) {
            return false;
        }
        block_length = 1;
    }
    return block_length >= min_consecutive_periods || index_of(items.back()) == n - 1;
}

// Whether candidate (in the order the caller built it, expected ascending)
// satisfies every timing rule for a series of n periods. min_selections plays
// no part: the caller chooses the candidate's size.
bool is_valid_combination(std::span<const PricedPeriod> candidate, const TimingRules& rules, std::uint64_t n);

}  // namespace tariffsieve::reference
