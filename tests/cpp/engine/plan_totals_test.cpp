// The totals of a plan: runs, sums and averages against exact integer sums
// and a quotient worked digit by digit; the order and range of the engine's
// sums; and plan's own answer kept whatever the prices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decimal/abort.h"
#include "engine/plan.h"
#include "engine/plan_totals.h"
#include "request_generator.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

// The random prices are whole units of 10^-4.
constexpr std::uint64_t units_per_one = 10000;
constexpr int unit_scale = 4;

// Magnitude digits with a point `scale` digits from the right.
std::string with_point(std::string digits, int scale) {
    digits.insert(0, static_cast<std::size_t>(std::max(0, scale + 1 - static_cast<int>(digits.size()))), '0');
    return scale > 0 ? digits.insert(digits.size() - static_cast<std::size_t>(scale), ".") : digits;
}

Decimal from_units(std::int64_t units) {
    const std::uint64_t magnitude = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    return dec((units < 0 ? "-" : "") + with_point(std::to_string(magnitude), unit_scale));
}

// Digit string + 1.
std::string incremented(std::string digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// units / count rounded half to even at the most decimals (at most 28) whose
// digits stay below 2^96, worked out digit by digit.
Decimal rounded_average(std::int64_t units, std::uint64_t count) {
    const std::uint64_t magnitude = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    const std::uint64_t divisor = count * units_per_one;
    std::uint64_t remainder = magnitude % divisor;
    std::string fraction;  // the first 29 decimals
    for (int i = 0; i < 29; ++i) {
        remainder *= 10;
        fraction += static_cast<char>('0' + remainder / divisor);
        remainder %= divisor;
    }
    for (std::size_t places = 28;; --places) {
        std::string digits = std::to_string(magnitude / divisor) + fraction.substr(0, places);
        const char next = fraction[places];
        const bool beyond = remainder != 0 || fraction.find_first_not_of('0', places + 1) != std::string::npos;
        if (next > '5' || (next == '5' && (beyond || (digits.back() - '0') % 2 == 1))) {
            digits = incremented(digits);
        }
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        if (digits.size() < 29 || (digits.size() == 29 && digits < "79228162514264337593543950336")) {
            return dec((units < 0 ? "-" : "") + with_point(digits, static_cast<int>(places)));
        }
    }
}

TEST(PlanTotals, AverageRoundsHalfToEvenAtTheMostDecimalsThatFit) {
    const struct {
        std::vector<std::string> prices;
        const char* total;
        const char* average;
    } cases[] = {
        {{"10", "20", "0.01"}, "30.01", "10.003333333333333333333333333"},  // 27 decimals: 28 leave 2^96
        {{"1", "0", "0"}, "1", "0.3333333333333333333333333333"},
        {{"1", "1", "0"}, "2", "0.6666666666666666666666666667"},
        {{"-0.10", "-0.20", "0"}, "-0.30", "-0.10"},  // exact: the total's decimals are kept
        {{"0.10", "0.20"}, "0.30", "0.15"},
        {{"1.5", "-1.5"}, "0.0", "0"},
    };
    for (const auto& c : cases) {
        const std::vector<Decimal> prices = decimals(c.prices);
        IndexList all(prices.size());
        std::iota(all.begin(), all.end(), 0);
        const PriceSum sum = price_sum(prices, all);
        EXPECT_EQ(to_text(sum.total), c.total);
        EXPECT_EQ(to_text(sum.average), c.average);
    }
}

TEST(PlanTotals, RunsTotalsAndAveragesOfRandomSelections) {
    std::mt19937_64 random(3030);
    auto pick = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    for (int round = 0; round < 400; ++round) {
        // Prices of mixed scales and signs, zeros and repeating quotients.
        std::vector<std::int64_t> units(static_cast<std::size_t>(pick(1, 60)));
        for (std::int64_t& price : units) {
            price = pick(0, 9) == 0 ? 0 : pick(-20000000, 20000000) / (pick(0, 2) == 0 ? 1 : pick(1, 10000));
        }
        std::vector<Decimal> prices;
        std::transform(units.begin(), units.end(), std::back_inserter(prices), from_units);
        IndexList chosen;
        const std::int64_t density = pick(1, 10);
        for (std::uint64_t i = 0; i < units.size(); ++i) {
            if (pick(1, 10) <= density) chosen.push_back(i);
        }
        const auto expect_sum = [&](const PriceSum& got, const IndexList& of) {
            std::int64_t total = 0;
            for (const std::uint64_t i : of) total += units[i];
            EXPECT_EQ(got.total, from_units(total)) << describe(of);
            EXPECT_EQ(got.average, rounded_average(total, of.size())) << describe(of) << ": " << to_text(got.average);
        };
        const SelectionTotals got = selection_totals(prices, chosen);
        ASSERT_EQ(got.sum.has_value(), !chosen.empty());
        if (got.sum) expect_sum(*got.sum, chosen);
        // The runs: split wherever the next chosen index is not adjacent.
        std::size_t run = 0;
        for (std::size_t k = 0, end = 0; k < chosen.size(); k = end, ++run) {
            for (end = k + 1; end < chosen.size() && chosen[end] == chosen[end - 1] + 1;) ++end;
            ASSERT_LT(run, got.runs.size());
            EXPECT_EQ(got.runs[run].first, chosen[k]);
            EXPECT_EQ(got.runs[run].last, chosen[end - 1]);
            expect_sum(got.runs[run].sum, IndexList(chosen.begin() + static_cast<std::ptrdiff_t>(k),
                                                    chosen.begin() + static_cast<std::ptrdiff_t>(end)));
        }
        EXPECT_EQ(got.runs.size(), run);
    }
}

std::string abort_of(const std::vector<std::string>& prices, const IndexList& chosen) {
    try {
        selection_totals(decimals(prices), chosen);
    } catch (const Abort& abort) {
        return abort.what();
    }
    return "";
}

TEST(PlanTotals, SumsAddFromZeroInIndexOrderAndAbortBeyondTheRange) {
    const std::string max = "79228162514264337593543950335";
    const std::string max_28 = "7.9228162514264337593543950335";  // 2^96 - 1 at scale 28
    // Beyond 2^96 at scale 28 a sum keeps 27 decimals: 2 * max_28 exactly,
    // then a tie after adding 5 * 10^-28, rounded to even (not the exact sum
    // ...900675 that no decimal holds).
    const SelectionTotals rounded = selection_totals(decimals({max_28, max_28, "0.0000000000000000000000000005"}), IndexList{0, 1, 2});
    EXPECT_EQ(to_text(rounded.sum->total), "15.845632502852867518708790068");
    EXPECT_EQ(to_text(rounded.sum->average), "5.2818775009509558395695966893");

    EXPECT_EQ(abort_of({max, max}, {0, 1}), addition_overflowed_message);
    // The order decides: the exact total fits, but its first two prices do not.
    EXPECT_EQ(abort_of({max, max, "-" + max}, {0, 1, 2}), addition_overflowed_message);
    EXPECT_EQ(to_text(selection_totals(decimals({"-" + max, max, max}), IndexList{0, 1, 2}).sum->total), max);
    // A run's own total overflows where the whole selection's does not.
    EXPECT_EQ(abort_of({"-" + max, "0", max, max}, {0, 2, 3}), addition_overflowed_message);
    EXPECT_EQ(abort_of({max, max}, {0}), "");
}

TEST(PlanTotals, PlanWithTotalsAnswersAsPlan) {
    // Prices of every family, rounding and overflowing ones too: the answer
    // is plan's, and the only abort an overflowing sum's.
    RequestGenerator make(3031);
    int totals_overflowed = 0;
    for (int round = 0; round < 600; ++round) {
        const Request r = make.make(make.pick(1, 16), Prices::any, Rules::any);
        const std::vector<Decimal> prices = decimals(r.prices);
        const Decimal threshold = dec(r.threshold);
        const bool aggressive = round % 2 == 0;
        std::string plan_abort;
        SelectionResult planned;
        try {
            planned = plan(prices, threshold, r.rules, aggressive);
        } catch (const Abort& abort) {
            plan_abort = abort.what();
        }
        try {
            const PlanWithTotals got = plan_with_totals(prices, threshold, r.rules, aggressive);
            EXPECT_EQ(plan_abort, "");
            EXPECT_EQ(describe(got.selection), describe(planned));
            EXPECT_EQ(got.totals.sum.has_value(), planned.ok() && !planned.indices.empty());
        } catch (const Abort& abort) {
            EXPECT_EQ(std::string(abort.what()), addition_overflowed_message);
            totals_overflowed += plan_abort.empty() ? 1 : 0;
        }
    }
    EXPECT_GT(totals_overflowed, 0);  // plan answered, its totals could not be summed
}

}  // namespace
}  // namespace tariffsieve::test
