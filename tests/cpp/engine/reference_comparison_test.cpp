// get_cheapest_periods and plan against the exhaustive reference on seeded
// random requests: every length up to 28, and plan from 29 to 40 periods
// against the reference without its length limit. The search itself (no
// fallback behind it) is held to the reference where sums round.
// TARIFFSIEVE_REFERENCE_TIMES=k runs k times as many requests (long runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "as_reference.h"
#include "engine/search/cheapest_periods.h"
#include "engine/search/series_rules.h"
#include "request_generator.h"

namespace tariffsieve::test {
namespace {

std::uint64_t times(std::uint64_t requests) { return times_from_environment("TARIFFSIEVE_REFERENCE_TIMES", requests); }

constexpr std::initializer_list<Entry> both_entries = {Entry::get_cheapest_periods, Entry::plan};

TEST(AsReference, BothEntriesUpTo12Periods) {
    RequestGenerator make(20261207);
    int failures = 0;
    for (std::uint64_t i = 0; i < times(30000) && failures < 5; ++i) {
        failures += expect_as_reference(make.make(make.pick(1, 12), Prices::any, Rules::any), both_entries) ? 0 : 1;
    }
}

TEST(AsReference, BothEntriesUpTo16Periods) {
    RequestGenerator make(7);
    int failures = 0;
    for (std::uint64_t i = 0; i < times(1500) && failures < 5; ++i) {
        failures += expect_as_reference(make.make(make.pick(13, 16), Prices::any, Rules::any), both_entries) ? 0 : 1;
    }
}

TEST(AsReference, BothEntriesUpTo28Periods) {
    RequestGenerator make(28);
    int failures = 0;
    for (std::uint64_t i = 0; i < times(120) && failures < 3; ++i) {
        const int n = i % 4 == 0 ? 28 : make.pick(17, 27);
        failures += expect_as_reference(make.make(n, Prices::any, Rules::quick_reference), both_entries) ? 0 : 1;
    }
}

// Beyond 28 periods plan may refuse prices whose sums round and whose
// near-ties it cannot tell apart in time; exact prices it always answers.
TEST(AsReference, PlanFrom29To40PeriodsAsTheReferenceWithoutItsLimit) {
    RequestGenerator make(1152);
    for (std::uint64_t i = 0; i < times(1000); ++i) {
        const bool rounding = i % 4 == 0;
        const Request r = make.make(make.pick(29, 40), rounding ? Prices::rounding : Prices::exact, Rules::quick_reference);
        for (const bool aggressive : {true, false}) {
            const std::string got = entry_outcome(Entry::plan, r, aggressive);
            if (rounding && got.starts_with("error: prices carry too many decimals")) {
                continue;
            }
            ASSERT_EQ(got, reference_outcome(r, aggressive)) << show(r, aggressive);
        }
    }
}

// Prices of both signs whose positive or negative ones alone add up to about
// 2^96: no bound on rounded sums holds.
bool both_signs_near_the_range(const Request& r) {
    double positive = 0;
    double negative = 0;
    for (const std::string& text : r.prices) {
        const double value = std::stod(text);
        (value < 0 ? negative : positive) += std::abs(value);
    }
    return positive > 0 && negative > 0 && std::max(positive, negative) > 7.9e28;
}

// The one search alone, where sums round: it answers as the reference, and
// declines only prices of both signs near the decimal range.
TEST(AsReference, SearchAnswersSumsThatRoundItself) {
    RequestGenerator make(96);
    std::uint64_t declined = 0;
    const std::uint64_t requests = times(6000);
    for (std::uint64_t i = 0; i < requests; ++i) {
        const int n = i % 10 == 0 ? make.pick(13, 20) : make.pick(2, 12);
        const Request r = make.make(n, Prices::rounding, n > 12 ? Rules::quick_reference : Rules::any);
        if (r.rules.min_selections == r.prices.size()) {
            continue;  // a trivial answer, never searched
        }
        const std::vector<Decimal> prices = decimals(r.prices);
        const search::SeriesRules rules = search::series_rules(prices, dec(r.threshold), r.rules);
        if (std::find(rules.cheap.begin(), rules.cheap.end(), 0) == rules.cheap.end()) {
            continue;
        }
        const bool aggressive = i % 2 == 0;
        const std::string got = outcome_of([&] {
            const std::optional<SelectionResult> answer = search::cheapest_periods(prices, rules, aggressive);
            return answer ? *answer : SelectionResult::failure("declined");
        });
        if (got == "error: declined") {
            EXPECT_TRUE(both_signs_near_the_range(r)) << "declined: " << show(r, aggressive);
            ++declined;
            continue;
        }
        ASSERT_EQ(got, reference_outcome(r, aggressive)) << "request " << i << ": " << show(r, aggressive);
    }
    std::cout << "  " << requests << " requests, " << declined << " declined\n";
}

// Where the aggressive iteration starts: the size's cheapest prices when they
// make a valid main combination, here with their first period at
// max_gap_from_start or one later, the gap after them at
// max_gap_between_periods or one longer, a last block short of
// min_consecutive_periods that does or does not reach the end; else, on a
// short series, their average as a lower bound, and on a longer one (the
// same prices with four more) the cheapest main combination with the groups
// whose own average lies below the candidate's (a group just below and one
// just above the best average).
TEST(AsReference, AggressiveSearchFromItsFirstGuess) {
    std::vector<std::vector<std::string>> series = {
        {"5", "5", "1", "1", "1", "5", "5", "5", "5", "5"},
        {"5", "5", "5", "5", "5", "5", "5", "1", "1", "1"},
        {"4", "1", "1", "6", "2", "3", "9", "2.9", "3.1", "5"},
        {"2", "7", "1", "1", "7", "2.5", "2", "7", "3", "3"},
    };
    for (std::size_t i = 0, short_ones = series.size(); i < short_ones; ++i) {
        std::vector<std::string> longer = series[i];
        longer.insert(longer.end(), {"5", "2.9", "5", "3.1"});
        series.push_back(longer);
    }
    for (const std::vector<std::string>& prices : series) {
        for (const char* threshold : {"0", "2", "3"}) {
            for (std::uint64_t size = 2; size <= 4; ++size) {
                for (std::uint64_t block = 1; block <= size; ++block) {
                    for (std::uint64_t gap = 3; gap <= 7; ++gap) {
                        for (std::uint64_t start = 0; start <= 3; ++start) {
                            const Request r{prices, threshold, {size, block, gap, start}};
                            ASSERT_TRUE(expect_as_reference(r, both_entries));
                        }
                    }
                }
            }
        }
    }
}

// The table fills only the states a main combination can be in: prices that
// fall towards the end push the main combination as late as its first period
// and its gaps let it come, prices that rise push it as early as the periods
// left can still reach the end from, both with and without cheap runs.
TEST(AsReference, MainCombinationsAtTheEdgesOfTheTable) {
    const std::vector<std::vector<std::string>> series = {
        {"9", "8", "7", "6", "5", "4", "3", "2", "1", "0", "-1", "-2", "-3"},
        {"-3", "-2", "-1", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"},
        {"4", "1", "5", "2", "6", "3", "7", "2", "6", "1", "5", "0", "4"},
    };
    for (const std::vector<std::string>& prices : series) {
        for (const char* threshold : {"-10", "1"}) {
            for (std::uint64_t size = 2; size <= 6; ++size) {
                for (std::uint64_t block = 1; block <= 3 && block <= size; ++block) {
                    for (std::uint64_t gap = 1; gap <= 4; ++gap) {
                        for (std::uint64_t start = 0; start <= gap; ++start) {
                            const Request r{prices, threshold, {size, block, gap, start}};
                            ASSERT_TRUE(expect_as_reference(r, both_entries));
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tariffsieve::test
