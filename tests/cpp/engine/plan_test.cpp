// plan against the exhaustive searches on seeded random requests: through
// get_cheapest_periods' own entry up to 28 periods, and with the length limit
// lifted (the reference strategies called directly) from 29 to 40 periods.
// TARIFFSIEVE_PLAN_TIMES=k runs k times as many requests (long runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decimal/abort.h"
#include "engine/plan.h"
#include "engine/strategies.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

std::uint64_t scaled(std::uint64_t requests) { return times_from_environment("TARIFFSIEVE_PLAN_TIMES", requests); }

class PlanRequests {
public:
    explicit PlanRequests(std::uint64_t seed) : random_(seed) {}

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // Prices of one style: ties, everyday decimals with negatives, averages
    // that need all 28 decimals, tiny values at scale 27 whose averages round
    // at a unit close to the prices' own.
    std::vector<std::string> prices(int n) {
        const int style = pick(0, 5);
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i) {
            switch (style) {
                case 0: out.push_back(std::to_string(pick(0, 3))); break;
                case 1: out.push_back(std::to_string(pick(-3, 9))); break;
                case 2: out.push_back(signed_text(pick(-40, 400), "0.", 2)); break;
                case 3: out.push_back(signed_text(pick(-999, 9999), "", 0) + "." + std::to_string(pick(0, 9))); break;
                case 4: out.push_back(signed_text(pick(-99, 99), "0.00000000000000000000000", 4)); break;
                default: out.push_back(std::to_string(pick(1, 7)) + "." + std::to_string(pick(0, 2))); break;
            }
        }
        return out;
    }

    std::string threshold(const std::vector<std::string>& prices) {
        const int kind = pick(0, 5);
        if (kind == 0) {
            return "-1000";
        }
        return prices[static_cast<std::size_t>(pick(0, static_cast<int>(prices.size()) - 1))];
    }

private:
    std::mt19937_64 random_;

    // value / 10^digits written as text, with `head` before the digits.
    static std::string signed_text(int value, const std::string& head, int digits) {
        std::string body = std::to_string(std::abs(value));
        if (digits > 0) {
            body.insert(0, static_cast<std::size_t>(std::max(0, digits - static_cast<int>(body.size()))), '0');
        }
        return (value < 0 ? "-" : "") + head + body;
    }
};

std::string describe_request(const Request& r, bool aggressive) {
    std::string text = "prices [";
    for (std::size_t i = 0; i < r.prices.size(); ++i) {
        text += (i ? ", " : "") + r.prices[i];
    }
    return text + "] threshold " + r.threshold + " min_selections " + std::to_string(r.rules.min_selections) +
           " min_consecutive_periods " + std::to_string(r.rules.min_consecutive_periods) +
           " max_gap_between_periods " + std::to_string(r.rules.max_gap_between_periods) + " max_gap_from_start " +
           std::to_string(r.rules.max_gap_from_start) + (aggressive ? " aggressive" : " conservative");
}

std::string outcome_of_plan(const std::vector<Decimal>& prices, const Decimal& threshold, const TimingRules& rules,
                            bool aggressive) {
    try {
        return describe(plan(prices, threshold, rules, aggressive));
    } catch (const Abort& abort) {
        return std::string("abort: ") + abort.what();
    }
}

TEST(Plan, AnswersAsTheExhaustiveSearchUpTo28Periods) {
    PlanRequests make(20261207);
    const std::uint64_t requests = scaled(20000);
    for (std::uint64_t i = 0; i < requests; ++i) {
        const int n = make.pick(1, i % 100 == 0 ? 18 : 12);
        Request r;
        r.prices = make.prices(n);
        r.threshold = make.threshold(r.prices);
        const int min_selections = make.pick(i % 40 == 0 ? 0 : 1, n);
        r.rules = {.min_selections = static_cast<std::uint64_t>(min_selections),
                   .min_consecutive_periods = static_cast<std::uint64_t>(make.pick(i % 40 == 1 ? 0 : 1, std::max(1, std::min(min_selections, 4)))),
                   .max_gap_between_periods = static_cast<std::uint64_t>(make.pick(0, n)),
                   .max_gap_from_start = 0};
        r.rules.max_gap_from_start = static_cast<std::uint64_t>(make.pick(0, static_cast<int>(r.rules.max_gap_between_periods) + (i % 40 == 2 ? 1 : 0)));
        const bool aggressive = i % 2 == 0;
        std::string expected;
        try {
            expected = describe(run(r, aggressive, Search::exhaustive));
        } catch (const Abort& abort) {
            expected = std::string("abort: ") + abort.what();
        }
        ASSERT_EQ(outcome_of_plan(decimals(r.prices), dec(r.threshold), r.rules, aggressive), expected)
            << "request " << i << ": " << describe_request(r, aggressive);
    }
}

TEST(Plan, AnswersAsTheExhaustiveSearchWithoutItsLengthLimit) {
    PlanRequests make(1152);
    const std::uint64_t requests = scaled(10000);
    for (std::uint64_t i = 0; i < requests; ++i) {
        const int n = make.pick(29, 40);
        const std::vector<std::string> texts = make.prices(n);
        std::vector<PricedPeriod> all = series(texts);
        // Rules that keep the reference's search small: a size near n, or a
        // size of one or two with few cheap periods.
        TimingRules rules;
        std::string threshold = make.threshold(texts);
        const int gap = make.pick(0, n);
        if (make.pick(0, 2) == 0) {
            std::vector<Decimal> sorted = decimals(texts);
            std::sort(sorted.begin(), sorted.end());
            threshold = texts[0];
            for (const std::string& text : texts) {  // at most the four cheapest are cheap
                if (dec(text) < sorted[4]) {
                    threshold = dec(text) > dec(threshold) ? text : threshold;
                }
            }
            const int size = make.pick(1, 2);
            rules = {.min_selections = static_cast<std::uint64_t>(size),
                     .min_consecutive_periods = static_cast<std::uint64_t>(make.pick(1, size)),
                     .max_gap_between_periods = static_cast<std::uint64_t>(n),
                     .max_gap_from_start = static_cast<std::uint64_t>(make.pick(0, n))};
            if (dec(threshold) >= sorted[4]) {
                threshold = "-1000";
            }
        } else {
            const int size = n - make.pick(1, i % 10 == 0 ? 3 : 2);
            rules = {.min_selections = static_cast<std::uint64_t>(size),
                     .min_consecutive_periods = static_cast<std::uint64_t>(make.pick(1, std::min(size, 6))),
                     .max_gap_between_periods = static_cast<std::uint64_t>(gap),
                     .max_gap_from_start = static_cast<std::uint64_t>(make.pick(0, gap))};
        }
        const Decimal limit = dec(threshold);
        std::vector<PricedPeriod> cheap;
        for (const PricedPeriod& period : all) {
            if (period.price <= limit) {
                cheap.push_back(period);
            }
        }
        const bool aggressive = i % 2 == 0;
        std::string expected;
        if (cheap.size() == all.size()) {
            IndexList every(all.size());
            std::iota(every.begin(), every.end(), std::uint64_t{0});
            expected = describe(every);
        } else {
            try {
                expected = describe(aggressive ? get_cheapest_periods_aggressive(all, cheap, rules)
                                               : get_cheapest_periods_conservative(all, cheap, rules));
            } catch (const Abort& abort) {
                expected = std::string("abort: ") + abort.what();
            }
        }
        Request r{texts, threshold, rules};
        ASSERT_EQ(outcome_of_plan(decimals(texts), limit, rules, aggressive), expected)
            << "request " << i << ": " << describe_request(r, aggressive);
    }
}

TEST(Plan, AnswersLongSeriesWhoseSumsRoundOrRefusesThem) {
    const std::vector<Decimal> long_series(max_plan_periods + 1, dec("1"));
    EXPECT_EQ(describe(plan(long_series, dec("0"), {.min_selections = 1, .min_consecutive_periods = 1}, true)),
              "error: prices cannot contain more than 2016 items");
    // 29 prices of 28 significant digits: sums round, and plan still answers
    // as the exhaustive search does.
    std::vector<std::string> texts(29, "0.7013333333333333333333333333");
    texts[3] = "0.5013333333333333333333333335";
    texts[17] = "-0.2986666666666666666666666667";
    const std::vector<PricedPeriod> all = series(texts);
    const std::vector<PricedPeriod> cheap = {all[3], all[17]};
    const TimingRules rules{.min_selections = 27, .min_consecutive_periods = 2, .max_gap_between_periods = 2};
    for (const bool aggressive : {true, false}) {
        EXPECT_EQ(describe(plan(decimals(texts), dec("0.6"), rules, aggressive)),
                  describe(aggressive ? get_cheapest_periods_aggressive(all, cheap, rules)
                                      : get_cheapest_periods_conservative(all, cheap, rules)));
    }
    // Prices of one sign whose total overflows: the exhaustive search's abort.
    const std::vector<Decimal> huge(30, dec("39614081257132168796771975168"));
    EXPECT_THROW(plan(huge, dec("0"), {.min_selections = 1, .min_consecutive_periods = 1, .max_gap_between_periods = 30}, true), Abort);
    // Both signs near the decimal range: no bound holds, and beyond 28
    // periods plan refuses rather than try every selection.
    std::vector<Decimal> both(30, dec("39614081257132168796771975167"));
    both[1] = dec("-39614081257132168796771975167");
    const SelectionResult refused =
        plan(both, dec("0"), {.min_selections = 2, .min_consecutive_periods = 1, .max_gap_between_periods = 30}, true);
    EXPECT_EQ(refused.error.rfind("prices carry too many decimals", 0), 0u) << refused.error;
}

}  // namespace
}  // namespace tariffsieve::test
