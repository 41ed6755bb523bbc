// The k-combination enumerator and the extension of a main combination by
// cheap groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <vector>

#include "engine/reference/combinations.h"
#include "engine/reference/extension.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

using namespace reference;

std::vector<IndexList> all_combinations(std::uint64_t m, std::uint64_t k) {
    IndexList pool_indices(m);
    std::iota(pool_indices.begin(), pool_indices.end(), std::uint64_t{0});
    const std::vector<PricedPeriod> pool = at(pool_indices);
    Combinations combinations(pool, k);
    std::vector<IndexList> out;
    std::vector<PricedPeriod> combination{{99, Decimal::zero()}};  // stale content must be replaced
    while (combinations.next(combination)) {
        out.push_back(indices(combination));
    }
    EXPECT_FALSE(combinations.next(combination)) << "the end is final";
    return out;
}

TEST(Combinations, SmallPoolsInLexicographicOrder) {
    EXPECT_EQ(all_combinations(4, 2), (std::vector<IndexList>{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}));
    EXPECT_EQ(all_combinations(3, 3), (std::vector<IndexList>{{0, 1, 2}}));
    EXPECT_EQ(all_combinations(3, 4), (std::vector<IndexList>{}));
    EXPECT_EQ(all_combinations(3, 0), (std::vector<IndexList>{{}}));
    EXPECT_EQ(all_combinations(0, 0), (std::vector<IndexList>{{}}));
}

TEST(Combinations, EveryPoolYieldsEachSubsetOnceInOrder) {
    for (std::uint64_t m = 0; m <= 10; ++m) {
        std::uint64_t subsets = 0;
        for (std::uint64_t k = 0; k <= m; ++k) {
            const std::vector<IndexList> all = all_combinations(m, k);
            for (std::size_t i = 0; i < all.size(); ++i) {
                ASSERT_EQ(all[i].size(), k);
                ASSERT_TRUE(std::ranges::adjacent_find(all[i], std::ranges::greater_equal{}) == all[i].end());
                ASSERT_TRUE(all[i].empty() || all[i].back() < m);
                if (i > 0) {
                    ASSERT_LT(all[i - 1], all[i]) << "m=" << m << " k=" << k;
                }
            }
            subsets += all.size();
        }
        EXPECT_EQ(subsets, std::uint64_t{1} << m) << "m=" << m;
    }
}

TEST(CheapGroups, FormGroupsAndMergedCandidates) {
    const std::vector<PricedPeriod> cheap = at({1, 2, 4, 5});
    const std::vector<PricedPeriod> main_combination = at({0, 3});
    EXPECT_EQ(indices(remaining_cheap_items(main_combination, cheap)), (IndexList{1, 2, 4, 5}));
    const std::vector<Block> groups = cheap_groups(main_combination, cheap);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(indices(groups[0]), (IndexList{1, 2}));
    EXPECT_EQ(indices(groups[1]), (IndexList{4, 5}));
    EXPECT_EQ(group_mask_end(groups.size()), 4u);
    EXPECT_EQ(merged_candidate(main_combination, groups, 1), (IndexList{0, 1, 2, 3}));
    EXPECT_EQ(merged_candidate(main_combination, groups, 2), (IndexList{0, 3, 4, 5}));
    EXPECT_EQ(merged_candidate(main_combination, groups, 3), (IndexList{0, 1, 2, 3, 4, 5}));
}

TEST(CheapGroups, LeaveOutCheapItemsOfTheMainCombination) {
    const std::vector<Block> one = cheap_groups(at({1, 2}), at({1, 2, 4}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(indices(one[0]), (IndexList{4}));
    EXPECT_EQ(group_mask_end(one.size()), 2u);
    EXPECT_TRUE(cheap_groups(at({1, 2, 4}), at({1, 4})).empty());
    EXPECT_EQ(group_mask_end(0), 1u) << "no groups, no masks";
}

}  // namespace
}  // namespace tariffsieve::test
