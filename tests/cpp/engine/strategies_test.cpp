// Worked requests for both searches, their failure message and the abort of
// an overflowing total.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decimal/abort.h"
#include "engine/reference/combinations.h"
#include "engine/reference/cost.h"
#include "engine/reference/extension.h"
#include "engine/reference/strategies.h"
#include "engine/reference/validity.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

using namespace reference;

const std::string max_text = "79228162514264337593543950335";

struct Worked {
    const char* what;
    Request request;
    const char* aggressive;    // the answer of each search, or null where not given
    const char* conservative;
};

TEST(Strategies, WorkedRequests) {
    const Worked cases[] = {
        {"gap limits zero: only the complete series", {{"3", "1", "2", "0.5"}, "1", {1, 1, 0, 0}}, "[0, 1, 2, 3]",
         "[0, 1, 2, 3]"},
        {"pair 1, 2 reaches average 1 first", {{"5", "1", "1", "9", "1"}, "1", {2, 1, 4, 4}}, "[1, 2]", nullptr},
        {"no valid pair, size 3 searched", {{"3", "1", "4", "1", "5"}, "1", {2, 2, 1, 1}}, "[1, 2, 3]", nullptr},
        {"cheap group lowers the average", {{"9", "1", "1", "9"}, "1", {2, 1, 1, 0}}, "[0, 1, 2]", nullptr},
        {"cheap item inside the main combination", {{"1", "5", "5", "5"}, "1", {1, 1, 3, 3}}, "[0]", "[0]"},
        {"cheap group would leave a short block", {{"-1", "9", "9", "1", "1", "9"}, "0", {2, 2, 5, 5}}, "[3, 4]",
         nullptr},
        {"negative group, equal average", {{"-1", "5", "-1", "7"}, "-1", {1, 1, 3, 0}}, "[0]", nullptr},
        {"negative group, lower average", {{"-1", "5", "-2", "7"}, "-1", {1, 1, 3, 0}}, "[0, 2]", nullptr},
        // The only valid single period averages the largest value, which
        // never wins while nothing is held, so the next size answers.
        {"average equal to the largest value", {{max_text, "-5"}, "-10", {1, 1, 1, 0}}, "[0, 1]", nullptr},
        {"adaptive size", {{"5", "1", "1", "9", "0.5", "0.5", "7", "2"}, "1", {2, 2, 2, 1}}, nullptr, "[1, 2, 4, 5]"},
        {"zero-priced periods left out at first", {{"0", "4", "0"}, "0", {1, 1, 1, 1}}, nullptr, "[0, 1, 2]"},
        {"tie in the main combination", {{"2", "1", "1", "2"}, "0.5", {1, 1, 2, 2}}, nullptr, "[1]"},
        {"cheap count before cost", {{"0.3", "5", "0.1", "1", "0.2", "9", "2", "0.2"}, "0.3", {2, 2, 3, 3}}, nullptr,
         "[2, 3, 4, 7]"},
        {"equal cheap count and cost", {{"0.3", "9", "0.3", "9", "9", "0.3", "1", "1"}, "0.3", {2, 2, 3, 3}}, nullptr,
         "[2, 3, 4, 5]"},
        {"cheap periods added at a higher cost", {{"0.5", "9", "3", "0.5", "6", "0.5"}, "0.5", {1, 1, 3, 3}}, "[3]",
         "[0, 3, 5]"},
        {"no cheap items", {{"2", "1", "3"}, "0", {1, 1, 2, 2}}, "[1]", "[1]"},
        {"start limit equal to gap limit", {{"5", "1", "9"}, "1", {1, 1, 1, 1}}, "[1]", "[1]"},
    };
    for (const Worked& c : cases) {
        if (c.aggressive) {
            EXPECT_EQ(describe(run(c.request, true)), c.aggressive) << c.what;
        }
        if (c.conservative) {
            EXPECT_EQ(describe(run(c.request, false)), c.conservative) << c.what;
        }
    }
}

Decimal average_at(const std::vector<PricedPeriod>& all, const IndexList& selection) {
    return average_of(cost_of(all, selection), selection.size());
}

std::vector<IndexList> valid_combinations(const std::vector<PricedPeriod>& all, std::uint64_t k,
                                          std::uint64_t min_consecutive, std::uint64_t max_gap,
                                          std::uint64_t max_start) {
    std::vector<IndexList> valid;
    Combinations combinations(all, k);
    std::vector<PricedPeriod> combination;
    while (combinations.next(combination)) {
        const TimingRules rules{.min_selections = k,
                                .min_consecutive_periods = min_consecutive,
                                .max_gap_between_periods = max_gap,
                                .max_gap_from_start = max_start};
        if (is_valid_combination(combination, rules, all.size())) {
            valid.push_back(indices(combination));
        }
    }
    return valid;
}

TEST(Strategies, IntermediateSelectionsOfTheWorkedRequests) {
    // Aggressive: pair 0, 1 extended by both cheap groups averages 2.
    const std::vector<PricedPeriod> first = series({"5", "1", "1", "9", "1"});
    const std::vector<Block> groups = cheap_groups(at({0, 1}), at({1, 2, 4}));
    EXPECT_EQ(merged_candidate(at({0, 1}), groups, 3), (IndexList{0, 1, 2, 4}));
    EXPECT_EQ(average_at(first, {0, 1, 2, 4}), dec("2"));
    EXPECT_EQ(average_at(first, {1, 2, 4}), average_at(first, {1, 2}));

    // Aggressive: no pair is valid; 1, 2, 4 averages 10/3 and 11/4 with period 3.
    const std::vector<PricedPeriod> second = series({"3", "1", "4", "1", "5"});
    EXPECT_TRUE(valid_combinations(second, 2, 2, 1, 1).empty());
    EXPECT_EQ(valid_combinations(second, 3, 2, 1, 1), (std::vector<IndexList>{{1, 2, 3}, {1, 2, 4}}));
    EXPECT_EQ(average_at(second, {1, 2, 4}), dec("10") / Decimal::from_count(3));
    EXPECT_EQ(average_at(second, {1, 2, 3, 4}), dec("2.75"));

    // Conservative, adaptive size: nothing valid below 4; 0, 1, 4, 5 comes first
    // and 1, 2, 4, 5 is the cheapest.
    const std::vector<PricedPeriod> third = series({"5", "1", "1", "9", "0.5", "0.5", "7", "2"});
    EXPECT_TRUE(valid_combinations(third, 2, 2, 2, 1).empty());
    EXPECT_TRUE(valid_combinations(third, 3, 2, 2, 1).empty());
    const std::vector<IndexList> four = valid_combinations(third, 4, 2, 2, 1);
    ASSERT_FALSE(four.empty());
    EXPECT_EQ(four.front(), (IndexList{0, 1, 4, 5}));
    EXPECT_EQ(cost_of(third, four.front()), dec("7.0"));
    for (const IndexList& combination : four) {
        EXPECT_GE(cost_of(third, combination), dec("3.0")) << describe(combination);
    }
}

TEST(Strategies, ReportNoValidSelectionWithTheSeriesLength) {
    // The entry never lets this happen; called directly with a first size
    // above the series, nothing is searched.
    const std::vector<PricedPeriod> all = series({"1", "2", "3"});
    const TimingRules above_the_series{
        .min_selections = 4, .min_consecutive_periods = 1, .max_gap_between_periods = 2, .max_gap_from_start = 2};
    EXPECT_EQ(get_cheapest_periods_aggressive(all, {}, above_the_series).error,
              "No valid combination found that satisfies the constraints for 3 items");
    EXPECT_EQ(get_cheapest_periods_conservative(all, {}, above_the_series).error,
              "No valid main combination found that satisfies the constraints for 3 items");
}

TEST(Strategies, OverflowingTotalAborts) {
    // No selection the search weighs overflows; the total, summed first, does.
    const Request request{{max_text, "1", "-1", "-1"}, "-1", {1, 1, 3, 3}};
    for (const bool aggressive : {true, false}) {
        try {
            const SelectionResult result = run(request, aggressive);
            ADD_FAILURE() << "no abort: " << describe(result);
        } catch (const Abort& abort) {
            EXPECT_STREQ(abort.what(), "Addition overflowed");
        }
    }
    const std::vector<PricedPeriod> all = series(request.prices);
    EXPECT_THROW(get_cheapest_periods_aggressive(all, {}, request.rules), Abort);
    EXPECT_THROW(get_cheapest_periods_conservative(all, {}, request.rules), Abort);
}

}  // namespace
}  // namespace tariffsieve::test
