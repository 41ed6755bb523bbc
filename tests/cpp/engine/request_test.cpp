// The entry: the request rules in order, trivial answers, the threshold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

namespace tariffsieve::test {
namespace {

std::vector<std::string> flat(std::size_t n, const std::string& price = "1") { return std::vector<std::string>(n, price); }

TEST(Request, RulesFireInOrder) {
    // Each request passes the rules before its own and breaks later ones
    // where it can, so only the first broken rule may speak.
    const struct {
        Request request;
        const char* message;
    } cases[] = {
        {{{}, "1", {0, 0, 0, 1}}, "prices cannot be empty"},
        {{flat(29), "0", {0, 0, 0, 1}}, "prices cannot contain more than 28 items"},
        {{flat(3), "0", {0, 0, 0, 1}}, "min_selections must be greater than 0"},
        {{flat(3), "0", {4, 0, 0, 1}}, "min_selections cannot be greater than total number of items"},
        {{flat(3), "0", {2, 0, 0, 1}}, "min_consecutive_periods must be greater than 0"},
        {{flat(3), "0", {2, 3, 0, 1}}, "min_consecutive_periods cannot be greater than min_selections"},
        {{flat(3), "0", {2, 2, 0, 1}}, "max_gap_from_start must be less than or equal to max_gap_between_periods"},
        {{flat(3), "0", {2, 2, 4, 5}}, "max_gap_from_start must be less than or equal to max_gap_between_periods"},
    };
    for (const auto& c : cases) {
        for (const bool aggressive : {true, false}) {
            const SelectionResult result = run(c.request, aggressive);
            EXPECT_EQ(result.error, c.message) << describe(result);
            EXPECT_TRUE(result.indices.empty());
        }
    }
}

TEST(Request, AnswersTrivialRequestsWithEveryPeriod) {
    const IndexList three{0, 1, 2};
    const struct {
        const char* what;
        Request request;
        IndexList answer;
    } cases[] = {
        {"28 periods, all required", {flat(28, "3"), "1", {28, 28, 0, 0}}, [] {
             IndexList all;
             for (std::uint64_t i = 0; i < 28; ++i) all.push_back(i);
             return all;
         }()},
        {"all required despite block and gap rules", {{"5", "1", "9"}, "0", {3, 2, 7, 7}}, three},
        {"all cheap, threshold reached exactly", {{"0.5", "1", "0.25"}, "1.00", {1, 1, 2, 1}}, three},
        // The trivial answers sum nothing, so a series too large to total passes.
        {"all required, no total formed", {{"79228162514264337593543950335", "1", "2"}, "0", {3, 1, 0, 0}}, three},
    };
    for (const auto& c : cases) {
        for (const bool aggressive : {true, false}) {
            const SelectionResult result = run(c.request, aggressive);
            EXPECT_EQ(describe(result), describe(c.answer)) << c.what;
        }
    }
}

TEST(Request, ThresholdComparesByValue) {
    // 0.1 is cheap at threshold 0.10, so the conservative search adds it.
    const Request request{{"0.1", "0.05", "5"}, "0.10", {1, 1, 2, 2}};
    EXPECT_EQ(describe(run(request, false)), "[0, 1]");
    Request dearer = request;
    dearer.threshold = "0.09";
    EXPECT_EQ(describe(run(dearer, false)), "[1]");
}

}  // namespace
}  // namespace tariffsieve::test
