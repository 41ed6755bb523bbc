// Worked requests at the edges of the one search: the crowded negative
// average, the literal search's work budget (the fallback at 28 periods and
// plan's refusal beyond), plan's length limit, and prices near the decimal range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "as_reference.h"
#include "request_generator.h"
#include "engine/search/cheapest_periods.h"
#include "engine/search/scaled_prices.h"
#include "engine/search/series_rules.h"

namespace tariffsieve::test {
namespace {

const TimingRules any_pair{.min_selections = 2, .min_consecutive_periods = 1, .max_gap_between_periods = 40};

// The smallest average, -7.922816251426433759354395034, holds the digits a
// rounded-up 2^96 - 1 takes one scale lower. The pair 0, 1 averages half a
// unit above it, -7.9228162514264337593543950335, which fits at scale 28 and
// so rounds elsewhere: the first pair that averages the smallest is 1, 2.
TEST(SearchLimits, CrowdedNegativeAverageRoundsInAPlaceOfItsOwn) {
    const Request r{{"-7.922816251426433759354395033", "-7.922816251426433759354395034",
                     "-7.922816251426433759354395034", "-7.922816251426433759354395034"},
                    "-100",
                    {.min_selections = 2, .min_consecutive_periods = 1, .max_gap_between_periods = 4, .max_gap_from_start = 4}};
    EXPECT_EQ(reference_outcome(r, true), "[1, 2]");
    expect_as_reference(r, {Entry::get_cheapest_periods, Entry::plan});
}

// Every selection of six ties after rounding: more than the literal search's
// budget. At 28 periods the reference answers; beyond, plan refuses.
TEST(SearchLimits, TooManyNearTiesFallBackAt28PeriodsAndAreRefusedBeyond) {
    const TimingRules six{.min_selections = 6, .min_consecutive_periods = 1, .max_gap_between_periods = 40};
    const std::vector<Decimal> ties_28(28, dec("0.7013333333333333333333333333"));
    EXPECT_FALSE(search::cheapest_periods(ties_28, search::series_rules(ties_28, dec("0"), six), true));
    EXPECT_EQ(describe(get_cheapest_periods(ties_28, dec("0"), six, true)), "[0, 1, 2, 3, 4, 5]");
    EXPECT_EQ(describe(plan(ties_28, dec("0"), six, true)), "[0, 1, 2, 3, 4, 5]");

    const std::vector<Decimal> ties_40(40, dec("0.7013333333333333333333333333"));
    const SelectionResult refused = plan(ties_40, dec("0"), six, true);
    EXPECT_TRUE(refused.error.starts_with("prices carry too many decimals (or are too large) for an exact plan of "
                                          "more than 28 periods"))
        << describe(refused);
}

TEST(SearchLimits, PlanTakesAWeekOfFiveMinutePricesAndNoMore) {
    std::vector<Decimal> week(max_plan_periods, dec("5"));
    for (std::size_t i = 1000; i < 1004; ++i) {
        week[i] = dec("1");
    }
    const TimingRules block{.min_selections = 4, .min_consecutive_periods = 4, .max_gap_between_periods = 2016,
                            .max_gap_from_start = 2016};
    for (const bool aggressive : {true, false}) {
        EXPECT_EQ(describe(plan(week, dec("0"), block, aggressive)), "[1000, 1001, 1002, 1003]");
    }
    week.push_back(dec("1"));
    EXPECT_EQ(describe(plan(week, dec("0"), block, true)), "error: prices cannot contain more than 2016 items");
}

// Ten decimals on prices near a million: beyond a few periods the weights
// of an average outgrow 64 bits, and the search adds them in 128.
TEST(SearchLimits, WideWeightsBeyond28Periods) {
    RequestGenerator make(30);
    for (int i = 0; i < 20; ++i) {
        Request r{{}, "", {.min_selections = 28, .min_consecutive_periods = 2, .max_gap_between_periods = 2,
                           .max_gap_from_start = 1}};
        for (int p = 0; p < 31; ++p) {
            r.prices.push_back(std::to_string(make.pick(-999999, 999999)) + "." + std::to_string(make.pick(1000000000, 1999999999)));
        }
        r.threshold = r.prices[static_cast<std::size_t>(make.pick(0, 30))];
        expect_as_reference(r, {Entry::plan});
    }
}

// Prices at the scale of the finest non-zero one, by a short multiply up to
// nine places and a wide one beyond; exact only while the magnitudes sum
// below 2^96 - 1.
TEST(SearchLimits, ExactScaledPricesAndTheirLimit) {
    auto scaled = [](const std::vector<std::string>& texts) { return search::exact_scaled_prices(decimals(texts)); };
    const auto nine = scaled({"1", "-2.5", "0.000000001", "0.00000000000"});
    ASSERT_TRUE(nine);
    EXPECT_EQ(nine->scale, 9u);
    EXPECT_EQ(nine->value, (std::vector<Int128>{Int128::from_int64(1000000000), Int128::from_int64(-2500000000),
                                                Int128::from_int64(1), Int128{}}));
    EXPECT_EQ(nine->total_magnitude, Int128::from_int64(3500000001));
    // A zero's scale counts for nothing, first or not.
    const auto one_scale = scaled({"0.000", "5", "-3", "0.0"});
    ASSERT_TRUE(one_scale);
    EXPECT_EQ(one_scale->scale, 0u);
    EXPECT_EQ(one_scale->value, (std::vector<Int128>{Int128{}, Int128::from_int64(5), Int128::from_int64(-3), Int128{}}));
    const auto ten = scaled({"-7", "0.0000000001"});
    ASSERT_TRUE(ten);
    EXPECT_EQ(ten->value[0], Int128::from_int64(-70000000000));
    // 7922816251426433759354395034 * 10 passes 2^96 - 1; so does the total.
    EXPECT_FALSE(scaled({"7922816251426433759354395034", "0.1"}));
    EXPECT_FALSE(scaled({"7922816251426433759354395034", "0.0000000001"}));
    EXPECT_TRUE(scaled({"-79228162514264337593543950334"}));
    EXPECT_FALSE(scaled({"-79228162514264337593543950334", "1"}));
}

TEST(SearchLimits, PricesNearTheDecimalRangeBeyond28Periods) {
    // 29 prices of 28 significant digits: sums round, and plan still answers.
    Request r{std::vector<std::string>(29, "0.7013333333333333333333333333"), "0.6",
              {.min_selections = 27, .min_consecutive_periods = 2, .max_gap_between_periods = 2}};
    r.prices[3] = "0.5013333333333333333333333335";
    r.prices[17] = "-0.2986666666666666666666666667";
    expect_as_reference(r, {Entry::plan});
    // Prices of one sign whose total overflows: the reference's abort.
    const Request huge{std::vector<std::string>(30, "39614081257132168796771975168"), "0", any_pair};
    EXPECT_EQ(entry_outcome(Entry::plan, huge, true), "abort: Addition overflowed");
    // Both signs near the range: no bound holds, and plan refuses.
    Request both{std::vector<std::string>(30, "39614081257132168796771975167"), "0", any_pair};
    both.prices[1] = "-39614081257132168796771975167";
    EXPECT_TRUE(entry_outcome(Entry::plan, both, true).starts_with("error: prices carry too many decimals"));
}

}  // namespace
}  // namespace tariffsieve::test
