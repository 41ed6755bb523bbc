// Extending a main combination by blocks of cheap periods: its remaining cheap
// items, their cheap groups, the group masks and the merged candidates.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/reference/grouping.h"
#include "engine/reference/priced_period.h"

namespace tariffsieve::reference {

// A set of period indices, for membership tests only. Indices are below 28,
// so one bit each in a 64-bit word is enough.
class IndexSet {
public:
    static constexpr std::uint64_t capacity = 64;

    // An index of capacity or more aborts: it cannot come from a series.
    void insert(std::uint64_t index);
    bool contains(std::uint64_t index) const { return index < capacity && ((bits_ >> index) & 1u) != 0; }

private:
    std::uint64_t bits_ = 0;
};

IndexSet index_set_of(std::span<const PricedPeriod> periods);
IndexList indices_of(std::span<const PricedPeriod> periods);

// The cheap items whose index is not in main_combination, in cheap-item order.
std::vector<PricedPeriod> remaining_cheap_items(std::span<const PricedPeriod> main_combination,
                                                std::span<const PricedPeriod> cheap_items);

// The consecutive blocks of the remaining cheap items, G0 .. G(g-1).
std::vector<Block> cheap_groups(std::span<const PricedPeriod> main_combination,
                                std::span<const PricedPeriod> cheap_items);

// Masks run from 1 up to, not including, this bound (2^g); bit j stands for
// group Gj. There are no masks when g = 0.
std::uint32_t group_mask_end(std::size_t group_count);

// The main combination's indices together with those of every group whose
// bit is set in mask, sorted ascending. Built afresh for every mask.
IndexList merged_candidate(std::span<const PricedPeriod> main_combination, std::span<const Block> groups,
                           std::uint32_t mask);

void sort_ascending(IndexList& indices);

}  // namespace tariffsieve::reference
