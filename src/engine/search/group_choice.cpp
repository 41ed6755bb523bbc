// Cheap groups of a main combination and the selections they make.
#include "engine/search/group_choice.h"

namespace tariffsieve::search {

std::vector<Group> cheap_groups(const SeriesRules& rules, const std::vector<int>& main) {
    const int n = rules.n;
    std::vector<std::uint8_t> in_main(n);
    for (int p : main) {
        in_main[p] = 1;
    }
    std::vector<Group> groups;
    groups.reserve(static_cast<std::size_t>(n - static_cast<int>(main.size()) + 1) / 2 + 1);
    for (int p = 0; p < n;) {
        if (rules.cheap[p] == 0 || in_main[p] != 0) {
            ++p;
            continue;
        }
        const int first = p;
        while (p < n && rules.cheap[p] != 0 && in_main[p] == 0) {
            ++p;
        }
        const bool touches_main = (first > 0 && in_main[first - 1] != 0) || (p < n && in_main[p] != 0);
        const bool admissible = touches_main || p - first >= rules.min_block || p == n;
        groups.push_back({first, p - 1, admissible});
    }
    return groups;
}

std::vector<bool> every_admissible(const std::vector<Group>& groups) {
    std::vector<bool> chosen(groups.size());
    for (std::size_t j = 0; j < groups.size(); ++j) {
        chosen[j] = groups[j].admissible;
    }
    return chosen;
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
