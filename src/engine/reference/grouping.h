// Splitting a sequence of periods into its consecutive blocks.
#pragma once

#include <span>
#include <vector>

#include "engine/reference/priced_period.h"

namespace tariffsieve::reference {

using Block = std::vector<PricedPeriod>;  // a non-empty run of periods

// The maximal runs in which each index is one more than the one before it,
// in input order; concatenated they give back the input. Only the directly
// preceding element is compared, so a repeated or descending index starts a
// new block.
std::vector<Block> group_consecutive_items(std::span<const PricedPeriod> items);

}  // namespace tariffsieve::reference
