// Extending a main combination by blocks of cheap periods.
#include "engine/reference/extension.h"

#include <algorithm>

#include "decimal/abort.h"

namespace tariffsieve::reference {

void IndexSet::insert(std::uint64_t index) {
    if (index >= capacity) {
        throw Abort("Index outside the index set");
    }
    bits_ |= std::uint64_t{1} << index;
}

IndexSet index_set_of(std::span<const PricedPeriod> periods) {
    IndexSet set;
    for (const PricedPeriod& period : periods) {
        set.insert(period.index);
    }
    return set;
}

IndexList indices_of(std::span<const PricedPeriod> periods) {
    IndexList indices;
    indices.reserve(periods.size());
    for (const PricedPeriod& period : periods) {
        indices.push_back(period.index);
    }
    return indices;
}

std::vector<PricedPeriod> remaining_cheap_items(std::span<const PricedPeriod> main_combination,
                                                std::span<const PricedPeriod> cheap_items) {
    const IndexSet taken = index_set_of(main_combination);
    std::vector<PricedPeriod> remaining;
    for (const PricedPeriod& item : cheap_items) {
        if (!taken.contains(item.index)) {
            remaining.push_back(item);
        }
    }
    return remaining;
}

std::vector<Block> cheap_groups(std::span<const PricedPeriod> main_combination,
                                std::span<const PricedPeriod> cheap_items) {
    return group_consecutive_items(remaining_cheap_items(main_combination, cheap_items));
}

std::uint32_t group_mask_end(std::size_t group_count) {
    // Two groups are always split by another period, so a series of 28 has
    // at most 14; far more would mean a broken caller.
    if (group_count >= 32) {
        throw Abort("Too many cheap groups");
    }
    return std::uint32_t{1} << group_count;
}

IndexList merged_candidate(std::span<const PricedPeriod> main_combination, std::span<const Block> groups,
                           std::uint32_t mask) {
    IndexList merged = indices_of(main_combination);
    for (std::size_t j = 0; j < groups.size(); ++j) {
        if (((mask >> j) & 1u) != 0) {
            for (const PricedPeriod& period : groups[j]) {
                merged.push_back(period.index);
            }
        }
    }
    sort_ascending(merged);
    return merged;
}

void sort_ascending(IndexList& indices) { std::ranges::sort(indices); }

}  // namespace tariffsieve::reference
