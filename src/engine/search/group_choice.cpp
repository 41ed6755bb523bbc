// Cheap groups of a main combination and the selections they make.
#include "engine/search/group_choice.h"

namespace tariffsieve::search {

void find_cheap_groups(const SeriesRules& rules, const std::vector<int>& main, std::vector<Group>& groups) {
    const int n = rules.n;
    groups.clear();
    std::size_t next_main = 0;  // main[next_main] is the first period of M at or after p
    for (int p = 0; p < n;) {
        while (next_main < main.size() && main[next_main] < p) {
            ++next_main;
        }
        const bool in_main = next_main < main.size() && main[next_main] == p;
        if (rules.cheap[p] == 0 || in_main) {
            ++p;
            continue;
        }
        // A run of cheap periods up to the next period of M or the next plain one.
        const int first = p;
        const int stop = next_main < main.size() ? main[next_main] : n;
        while (p < stop && rules.cheap[p] != 0) {
            ++p;
        }
        const bool touches_main = (first > 0 && next_main > 0 && main[next_main - 1] == first - 1) || (p < n && p == stop);
        const bool admissible = touches_main || p - first >= rules.min_block || p == n;
        groups.push_back({first, p - 1, admissible});
    }
}

std::vector<std::uint64_t> with_every_admissible(const std::vector<int>& main, const std::vector<Group>& groups) {
    std::size_t count = main.size();
    for (const Group& group : groups) {
        count += group.admissible ? static_cast<std::size_t>(group.last - group.first + 1) : 0;
    }
    std::vector<std::uint64_t> indices;
    indices.reserve(count);
    indices.assign(main.begin(), main.end());
    for (const Group& group : groups) {
        for (int p = group.first; group.admissible && p <= group.last; ++p) {
            indices.push_back(static_cast<std::uint64_t>(p));
        }
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

std::vector<std::uint64_t> selection_of(const std::vector<int>& main, const std::vector<Group>& groups,
                                        const std::vector<bool>& chosen) {
    std::size_t count = main.size();
    for (std::size_t j = 0; j < groups.size(); ++j) {
        count += chosen[j] ? static_cast<std::size_t>(groups[j].last - groups[j].first + 1) : 0;
    }
    std::vector<std::uint64_t> indices;
    indices.reserve(count);
    indices.assign(main.begin(), main.end());
    for (std::size_t j = 0; j < groups.size(); ++j) {
        if (chosen[j]) {
            for (int p = groups[j].first; p <= groups[j].last; ++p) {
                indices.push_back(static_cast<std::uint64_t>(p));
            }
        }
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

}  // namespace tariffsieve::search
