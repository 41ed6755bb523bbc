// Cheap groups of a main combination and the selections they make.
#include "engine/search/group_choice.h"

namespace tariffsieve::search {

void find_cheap_groups(const SeriesRules& rules, const std::vector<int>& main, std::vector<Group>& groups) {
    const int n = rules.n;
    const std::uint8_t* const cheap = rules.cheap.data();
    groups.clear();
    groups.reserve(static_cast<std::size_t>(n + 1) / 2);  // groups never touch: one allocation
    // Gap by gap of M: x .. stop - 1, stop being M's next period or n.
    int x = 0;
    for (std::size_t j = 0; j <= main.size(); ++j) {
        const int stop = j < main.size() ? main[j] : n;
        for (;;) {
            while (x < stop && cheap[x] == 0) {
                ++x;
            }
            if (x == stop) {
                break;
            }
            // A run of cheap periods up to the next period of M or the next plain one.
            const int first = x;
            while (x < stop && cheap[x] != 0) {
                ++x;
            }
            const bool touches_main = (j > 0 && main[j - 1] == first - 1) || (x < n && x == stop);
            const bool admissible = touches_main || x - first >= rules.min_block || x == n;
            groups.push_back({first, x - 1, admissible});
        }
        x = stop + 1;
    }
}

namespace {

// M with the groups that `chosen` marks (every admissible group when there
// is no `chosen`), ascending: M and the groups each ascend and never share a
// period, so one merge orders them.
std::vector<std::uint64_t> merged(const std::vector<int>& main, const std::vector<Group>& groups,
                                  const std::vector<bool>* chosen) {
    auto taken = [&](std::size_t j) {
        return chosen != nullptr ? static_cast<bool>((*chosen)[j]) : groups[j].admissible;
    };
    std::size_t count = main.size();
    for (std::size_t j = 0; j < groups.size(); ++j) {
        count += taken(j) ? static_cast<std::size_t>(groups[j].last - groups[j].first + 1) : 0;
    }
    std::vector<std::uint64_t> indices;
    indices.reserve(count);
    std::size_t next_main = 0;
    for (std::size_t j = 0; j < groups.size(); ++j) {
        if (!taken(j)) {
            continue;
        }
        for (; next_main < main.size() && main[next_main] < groups[j].first; ++next_main) {
            indices.push_back(static_cast<std::uint64_t>(main[next_main]));
        }
        for (int p = groups[j].first; p <= groups[j].last; ++p) {
            indices.push_back(static_cast<std::uint64_t>(p));
        }
    }
    for (; next_main < main.size(); ++next_main) {
        indices.push_back(static_cast<std::uint64_t>(main[next_main]));
    }
    return indices;
}

}  // namespace

std::vector<std::uint64_t> with_every_admissible(const std::vector<int>& main, const std::vector<Group>& groups) {
    return merged(main, groups, nullptr);
}

std::vector<std::uint64_t> selection_of(const std::vector<int>& main, const std::vector<Group>& groups,
                                        const std::vector<bool>& chosen) {
    return merged(main, groups, &chosen);
}

}  // namespace tariffsieve::search
