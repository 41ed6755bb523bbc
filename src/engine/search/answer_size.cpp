// The smallest valid size, in closed form from the fewest periods that can
// follow a period whose block is long enough.
#include "engine/search/answer_size.h"

#include <algorithm>

#include "decimal/abort.h"

namespace tariffsieve::search {

namespace {

// The fewest periods after a period d periods before the last one, when its
// block is long enough: none while the gap to the end is allowed (d <= g);
// beyond, each block of c periods followed by a gap of g carries the
// combination g + c periods on, and what is left past the last whole such
// stretch takes its periods beyond g. This is the least fixed point of
// F(d) = min(1 + F(d - 1), c + F(d - g - c)), the next period or the block
// at the farthest jump (the latest block needs the fewest periods, as fewer
// periods are left after it), and the jump's final block n - q when the
// series ends within it: with g = 0 every period is taken.
int fewest_after(int d, int c, int g) {
    const int stretch = g + c;
    return d / stretch * c + std::max(0, d % stretch - g);
}

}  // namespace

int answer_size(const SeriesRules& rules) {
    const int n = rules.n;
    const int c = rules.min_block;
    // The first block starts at most max_start periods in; the latest start needs the fewest.
    const int q = std::min(rules.max_start, n - 1);
    const int smallest = q + c <= n ? c + fewest_after(n - q - c, c, rules.max_gap) : n - q;
    if (smallest > n) {
        throw Abort("Exact search found no valid size");  // the whole series is always valid
    }
    return std::max(rules.min_size, smallest);
}

}  // namespace tariffsieve::search
