// The literal search against the exhaustive one where sums round: seeded
// requests from families of 28-digit prices, and rounding boundaries.
// TARIFFSIEVE_LITERAL_TIMES=k runs k times as many requests (long runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/literal_search.h"
#include "engine/strategies.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

std::uint64_t times(std::uint64_t requests) { return times_from_environment("TARIFFSIEVE_LITERAL_TIMES", requests); }

class RoundingPrices {
public:
    explicit RoundingPrices(std::uint64_t seed) : random_(seed) {}

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string digits(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += static_cast<char>('0' + pick(0, 9));
        }
        return text;
    }

    // A price of one family; every family makes sums that round.
    Decimal price(int family) {
        switch (family) {
            case 0: {  // a tariff plus a third
                Decimal value = dec("0." + std::to_string(pick(10, 90)) + digits(2));
                value += dec("1") / dec("3");
                return value;
            }
            case 1:  // uniformly random, 28 decimals, 0.5 to 3
                return dec(std::to_string(pick(0, 2)) + "." + std::to_string(pick(5, 9)) + digits(27));
            case 2:  // whole numbers divided by 7
                return dec(std::to_string(pick(1, 400))) / dec("7");
            case 3:  // both signs, 28 decimals: negative partial sums
                return dec((pick(0, 1) ? "-" : "") + std::to_string(pick(0, 2)) + "." + digits(28));
            case 4: {  // few values: exact ties, and ties only after rounding
                static const char* const values[] = {"0.7013333333333333333333333333", "0.7013333333333333333333333334",
                                                     "0.5013333333333333333333333335", "0.9027777777777777777777777777"};
                return dec(values[pick(0, 3)]);
            }
            case 5:  // about (2^96 - 1) / k at scale 0: totals that overflow
                return Decimal::max_value() / dec(std::to_string(pick(3, 30)));
            case 6:  // 28 decimals ending in 5: dropped digits that are exactly half
                return dec(std::to_string(pick(1, 6)) + "." + digits(27).substr(0, 26) + std::to_string(pick(0, 9)) + "5");
            case 7:  // about 5 at scale 28: sums cross 2^96 at scale 28, then at 27
                return dec(std::to_string(pick(4, 6)) + "." + digits(28));
            case 8: {  // near the edge of the range, both signs: sums that round in whole units
                static const char* const values[] = {"26409387504754779197847983445", "-26409387504754779197847983445",
                                                     "7922816251426433759354395033.5", "-0.5", "0.5", "1", "0.25"};
                return dec(values[pick(0, 6)]);
            }
            default:  // large magnitudes of both signs with halves: rounding in whole units
                return dec((pick(0, 1) ? "-" : "") + std::to_string(pick(1, 9)) + digits(26) + (pick(0, 1) ? ".5" : ".25"));
        }
    }

private:
    std::mt19937_64 random_;
};

struct Outcome {
    std::string text;
    bool answered = true;
};

Outcome literal(const std::vector<Decimal>& prices, const Decimal& threshold, const TimingRules& rules,
                bool aggressive) {
    try {
        const auto answer = search::literal_search(prices, search::series_rules(prices, threshold, rules), aggressive);
        return answer ? Outcome{describe(*answer)} : Outcome{"declined", false};
    } catch (const Abort& abort) {
        return {std::string("abort: ") + abort.what()};
    }
}

std::string exhaustive(const std::vector<Decimal>& prices, const Decimal& threshold, const TimingRules& rules,
                       bool aggressive) {
    std::vector<PricedPeriod> all;
    std::vector<PricedPeriod> cheap;
    for (std::uint64_t i = 0; i < prices.size(); ++i) {
        all.push_back({i, prices[i]});
        if (prices[i] <= threshold) {
            cheap.push_back(all.back());
        }
    }
    try {
        return describe(aggressive ? get_cheapest_periods_aggressive(all, cheap, rules)
                                   : get_cheapest_periods_conservative(all, cheap, rules));
    } catch (const Abort& abort) {
        return std::string("abort: ") + abort.what();
    }
}

std::string show(const std::vector<Decimal>& prices, const Decimal& threshold, const TimingRules& rules) {
    std::string text = "prices";
    for (const Decimal& price : prices) {
        text += " " + std::to_string(price.scale()) + ":" + std::to_string(price.hi()) + "/" +
                std::to_string(price.mid_lo()) + (price.is_negative() ? "-" : "");
    }
    return text + " threshold scale " + std::to_string(threshold.scale()) + " rules " +
           std::to_string(rules.min_selections) + " " + std::to_string(rules.min_consecutive_periods) + " " +
           std::to_string(rules.max_gap_between_periods) + " " + std::to_string(rules.max_gap_from_start);
}

// Requests that reach a strategy: not every price cheap, min_selections below n.
struct Drawn {
    int family = 0;
    std::vector<Decimal> prices;
    Decimal threshold;
    TimingRules rules;
};

Drawn draw(RoundingPrices& make, int n, bool near_whole) {
    Drawn d;
    const int family = make.pick(0, 9);
    d.family = family;
    for (int i = 0; i < n; ++i) {
        d.prices.push_back(make.price(family));
    }
    std::vector<Decimal> sorted = d.prices;
    std::sort(sorted.begin(), sorted.end());
    d.threshold = sorted[static_cast<std::size_t>(make.pick(0, n - 2))];
    if (near_whole) {  // sizes close to n keep the exhaustive search short
        const int size = n - make.pick(1, 3);
        const int gap = make.pick(1, 4);
        d.rules = {.min_selections = static_cast<std::uint64_t>(size),
                   .min_consecutive_periods = static_cast<std::uint64_t>(make.pick(1, 3)),
                   .max_gap_between_periods = static_cast<std::uint64_t>(gap),
                   .max_gap_from_start = static_cast<std::uint64_t>(make.pick(0, gap))};
        return d;
    }
    const int size = make.pick(1, std::max(1, n / 2));
    const int gap = make.pick(1, std::max(1, n / 2));
    d.rules = {.min_selections = static_cast<std::uint64_t>(size),
               .min_consecutive_periods = static_cast<std::uint64_t>(make.pick(1, std::min(size, 3))),
               .max_gap_between_periods = static_cast<std::uint64_t>(gap),
               .max_gap_from_start = static_cast<std::uint64_t>(make.pick(0, gap))};
    return d;
}

void compare(RoundingPrices& make, std::uint64_t requests, int min_n, int max_n, bool near_whole) {
    std::uint64_t declined = 0;
    for (std::uint64_t i = 0; i < requests; ++i) {
        const int n = make.pick(min_n, i % 10 == 0 ? max_n : std::max(min_n, std::min(max_n, 12)));
        const Drawn d = draw(make, n, near_whole);
        const bool aggressive = i % 2 == 0;
        const Outcome got = literal(d.prices, d.threshold, d.rules, aggressive);
        if (!got.answered) {
            declined += d.family == 8 ? 0 : 1;  // that family may have both signs near the edge
            continue;
        }
        ASSERT_EQ(got.text, exhaustive(d.prices, d.threshold, d.rules, aggressive))
            << "request " << i << (aggressive ? " aggressive " : " conservative ") << show(d.prices, d.threshold, d.rules);
    }
    // Only prices of both signs near the decimal range may be declined.
    EXPECT_EQ(declined, 0u);
}

TEST(LiteralSearch, AnswersAsTheExhaustiveSearchUpTo16Periods) {
    RoundingPrices make(96);
    compare(make, times(20000), 2, 16, false);
}

TEST(LiteralSearch, AnswersAsTheExhaustiveSearchUpTo24Periods) {
    RoundingPrices make(192);
    compare(make, times(300), 17, 24, true);
}

TEST(LiteralSearch, DeclinesBothSignsNearTheDecimalRange) {
    std::vector<Decimal> prices(6, dec("39614081257132168796771975167"));
    prices[2] = dec("-39614081257132168796771975167");
    const TimingRules rules{.min_selections = 2, .min_consecutive_periods = 1, .max_gap_between_periods = 6};
    EXPECT_FALSE(search::literal_search(prices, search::series_rules(prices, dec("0"), rules), true));
}

}  // namespace
}  // namespace tariffsieve::test
