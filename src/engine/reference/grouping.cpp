// Splitting a sequence of periods into its consecutive blocks.
#include "engine/reference/grouping.h"

#include "engine/reference/validity.h"

namespace tariffsieve::reference {

std::vector<Block> group_consecutive_items(std::span<const PricedPeriod> items) {
    std::vector<Block> blocks;
    if (items.empty()) {
        return blocks;
    }
    Block open{items.front()};
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (!follows(items[i - 1].index, items[i].index)) {
            blocks.push_back(std::move(open));
            open.clear();
        }
        open.push_back(items[i]);
    }
    blocks.push_back(std::move(open));
    return blocks;
}

}  // namespace tariffsieve::reference
