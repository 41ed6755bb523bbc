// The smallest valid size, from the fewest periods that can follow each
// period whose block is long enough.
#include "engine/search/answer_size.h"

#include <algorithm>
#include <vector>

#include "decimal/abort.h"

namespace tariffsieve::search {

// fewest[p], the fewest periods after p, never grows with p: whatever follows
// p also follows p + 1 (a jump to p + 2 becomes a run of extensions). So the
// block entered at q needs no more periods the later q starts, and of all the
// blocks a gap can reach, the last one is the cheapest: one look per period.
int answer_size(const SeriesRules& rules) {
    const int n = rules.n;
    const int c = rules.min_block;
    const int none = n + 1;
    std::vector<int> fewest(static_cast<std::size_t>(n), none);  // after p, whose block is long enough
    auto entering = [&](int q) { return q + c - 1 <= n - 1 ? std::min(none, c + fewest[q + c - 1]) : n - q; };
    for (int p = n - 1; p >= 0; --p) {
        int best = n - 1 - p <= rules.max_gap ? 0 : none;
        if (p + 1 <= n - 1) {
            best = std::min(best, fewest[p + 1] + 1);
        }
        const int last_jump = std::min(p + 1 + rules.max_gap, n - 1);
        if (p + 2 <= last_jump) {
            best = std::min(best, entering(last_jump));
        }
        fewest[p] = std::min(best, none);
    }
    const int smallest = entering(std::min(rules.max_start, n - 1));
    if (smallest > n) {
        throw Abort("Exact search found no valid size");  // the whole series is always valid
    }
    return std::max(rules.min_size, smallest);
}

}  // namespace tariffsieve::search
