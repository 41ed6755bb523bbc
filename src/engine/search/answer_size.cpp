// The smallest valid size, from the fewest periods that can follow each
// period whose block is long enough.
#include "engine/search/answer_size.h"

#include <algorithm>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/window_min.h"

namespace tariffsieve::search {

int answer_size(const SeriesRules& rules) {
    const int n = rules.n;
    const int c = rules.min_block;
    const int none = n + 1;
    std::vector<int> fewest(n, none);  // after p, whose block is long enough
    auto entering = [&](int q) { return q + c - 1 <= n - 1 ? std::min(none, c + fewest[q + c - 1]) : n - q; };
    std::vector<WindowEntry<int>> jump_buffer(static_cast<std::size_t>(n) + 2);
    WindowMin<int> jumps(jump_buffer.data(), jump_buffer.size());
    for (int p = n - 1; p >= 0; --p) {
        int best = n - 1 - p <= rules.max_gap ? 0 : none;
        if (p + 1 <= n - 1) {
            best = std::min(best, fewest[p + 1] + 1);
        }
        if (p + 2 <= n - 1) {
            jumps.push_low(p + 2, entering(p + 2));
        }
        jumps.drop_above(p + 1 + rules.max_gap);
        if (!jumps.empty()) {
            best = std::min(best, jumps.min());
        }
        fewest[p] = std::min(best, none);
    }
    int smallest = none;
    for (int q = 0; q <= std::min(rules.max_start, n - 1); ++q) {
        smallest = std::min(smallest, entering(q));
    }
    if (smallest > n) {
        throw Abort("Exact search found no valid size");  // the whole rules is always valid
    }
    return std::max(rules.min_size, smallest);
}

}  // namespace tariffsieve::search
