// The timing rule check and the consecutive grouping.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "engine/reference/grouping.h"
#include "engine/reference/validity.h"
#include "engine/search/answer_size.h"
#include "engine/search/series_rules.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

using namespace reference;

constexpr std::uint64_t widest = std::numeric_limits<std::uint64_t>::max();

struct ValidityCase {
    const char* what;
    std::uint64_t n, min_consecutive, max_gap, max_start;
    IndexList candidate;
    bool valid;
};

TEST(IsValidCombination, JudgesEveryTimingRule) {
    const ValidityCase cases[] = {
        {"empty", 4, 1, 3, 3, {}, false},
        {"zero gaps: complete series", 4, 1, 0, 0, {0, 1, 2, 3}, true},
        {"zero gaps: trailing gap", 4, 1, 0, 0, {0, 1, 2}, false},
        {"zero gaps: late start", 4, 1, 0, 0, {1, 2, 3}, false},
        {"zero gaps: inner gap", 4, 1, 0, 0, {0, 2, 3}, false},
        {"short final block reaches the end", 7, 3, 2, 0, {0, 1, 2, 5, 6}, true},
        {"short final block before the end", 8, 3, 2, 0, {0, 1, 2, 5, 6}, false},
        {"single last period", 5, 2, 4, 4, {4}, true},
        {"single period before the end", 5, 2, 4, 4, {3}, false},
        {"gaps of one", 6, 1, 1, 1, {1, 3, 5}, true},
        {"gap of two", 6, 1, 1, 1, {0, 3, 5}, false},
        {"first index past the start limit", 6, 1, 1, 1, {2, 3, 5}, false},
        {"trailing gap of two", 6, 1, 1, 1, {1, 3}, false},
        {"first index past the gap limit", 5, 1, 1, 3, {2, 3, 4}, false},
        {"descending", 5, 1, 4, 4, {3, 2}, false},
        {"short first block at index 0", 6, 2, 2, 0, {0, 2, 3, 4, 5}, false},
        {"long first block at index 0", 6, 2, 2, 0, {0, 1, 3, 4, 5}, true},
        // With the widest gap limit a wrapped gap no longer exceeds it.
        {"descending, widest gaps", 5, 1, widest, widest, {3, 2}, false},
        {"repeated, widest gaps", 5, 1, widest, widest, {2, 2}, false},
        {"index past the series, widest gaps", 5, 1, widest, widest, {5}, false},
        {"largest index, widest gaps", 5, 1, widest, widest, {widest}, false},
    };
    for (const ValidityCase& c : cases) {
        const TimingRules rules{.min_selections = 1,
                                .min_consecutive_periods = c.min_consecutive,
                                .max_gap_between_periods = c.max_gap,
                                .max_gap_from_start = c.max_start};
        EXPECT_EQ(is_valid_combination(at(c.candidate), rules, c.n), c.valid)
            << c.what;
    }
}

// The closed form of the smallest valid size, against every subset of a
// short series under every rule set.
TEST(AnswerSize, SmallestSizeOfAnyValidCombination) {
    for (std::uint64_t n = 1; n <= 9; ++n) {
        for (std::uint64_t c = 1; c <= n; ++c) {
            for (std::uint64_t g = 0; g <= n; ++g) {
                for (std::uint64_t s = 0; s <= g; ++s) {
                    const TimingRules rules{.min_selections = 1,
                                            .min_consecutive_periods = c,
                                            .max_gap_between_periods = g,
                                            .max_gap_from_start = s};
                    std::uint64_t smallest = n;
                    for (std::uint64_t mask = 1; mask < (std::uint64_t{1} << n); ++mask) {
                        IndexList chosen;
                        for (std::uint64_t i = 0; i < n; ++i) {
                            if ((mask >> i) & 1) {
                                chosen.push_back(i);
                            }
                        }
                        if (chosen.size() < smallest && is_valid_combination(at(chosen), rules, n)) {
                            smallest = chosen.size();
                        }
                    }
                    const search::SeriesRules series{.n = static_cast<int>(n),
                                                     .min_block = static_cast<int>(c),
                                                     .max_gap = static_cast<int>(g),
                                                     .max_start = static_cast<int>(s),
                                                     .min_size = 1,
                                                     .cheap = {}};
                    EXPECT_EQ(search::answer_size(series), static_cast<int>(smallest))
                        << "n " << n << " c " << c << " g " << g << " s " << s;
                }
            }
        }
    }
}

// The cheap flags compare mantissas directly when the scales agree: signs,
// signed zeros and the high word must order as the decimals do.
TEST(SeriesRules, CheapExactlyWhenAtMostTheThreshold) {
    const std::vector<std::string> texts{
        "0", "-0", "0.00", "-0.00", "1.50", "1.5", "-1.50", "1.49", "1.51", "-1.49", "-1.51",
        "18446744073709551616", "18446744073709551615", "-18446744073709551616", "-18446744073709551617",
        "79228162514264337593543950335", "-79228162514264337593543950335", "7922816251426433759354395033.5"};
    const std::vector<Decimal> prices = decimals(texts);
    const TimingRules rules{.min_selections = 1,
                            .min_consecutive_periods = 1,
                            .max_gap_between_periods = prices.size(),
                            .max_gap_from_start = prices.size()};
    for (std::string_view threshold : {"1.50", "-1.50", "0", "-0.00", "18446744073709551616", "-18446744073709551616",
                                       "-18446744073709551615", "7922816251426433759354395033.5"}) {
        const search::SeriesRules series = search::series_rules(prices, dec(threshold), rules);
        for (std::size_t i = 0; i < prices.size(); ++i) {
            EXPECT_EQ(series.cheap[i] != 0, prices[i] <= dec(threshold)) << texts[i] << " against " << threshold;
        }
    }
}

TEST(GroupConsecutiveItems, SplitsAtEveryBreak) {
    const struct {
        IndexList input;
        std::vector<IndexList> blocks;
    } cases[] = {
        {{}, {}},
        {{7}, {{7}}},
        {{0, 1, 2, 5, 6, 9}, {{0, 1, 2}, {5, 6}, {9}}},
        {{3, 3}, {{3}, {3}}},
        {{4, 3}, {{4}, {3}}},
        {{widest, 0}, {{widest}, {0}}},  // no wrap from the largest index to 0
    };
    for (const auto& c : cases) {
        std::vector<IndexList> blocks;
        for (const Block& block : group_consecutive_items(at(c.input))) {
            blocks.push_back(indices(block));
        }
        EXPECT_EQ(blocks, c.blocks) << describe(c.input);
    }
}

TEST(GroupConsecutiveItems, PricesTravelWithTheirPeriods) {
    const std::vector<PricedPeriod> items{{0, dec("1.5")}, {2, dec("1.5")}, {3, dec("-2.25")}};
    const std::vector<Block> blocks = group_consecutive_items(items);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(indices(blocks[1]), (IndexList{2, 3}));
    EXPECT_EQ(blocks[0][0].price, dec("1.50"));
    EXPECT_EQ(blocks[1][1].price.scale(), 2u);
    EXPECT_TRUE(blocks[1][1].price.is_negative());
}

}  // namespace
}  // namespace tariffsieve::test
