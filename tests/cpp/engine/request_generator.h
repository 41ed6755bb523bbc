// The one generator of seeded random requests the engine tests compare with
// the reference: price families from everyday tariffs to sums that round and
// overflow, and rules of any shape or of a shape that keeps the exhaustive
// reference quick at up to 40 periods.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace tariffsieve::test {

// Families 0 .. 5 keep every sum exact (the last one needs 128-bit weights
// beyond a few periods); families 6 .. 19 make sums that round, overflow or
// average in a place of their own.
enum class Prices { exact, rounding, any };
// `any`: every shape the request rules allow; `quick_reference`: a size near
// n, or a size of one or two with at most four cheap periods.
enum class Rules { any, quick_reference };

class RequestGenerator {
public:
    explicit RequestGenerator(std::uint64_t seed) : random_(seed) {}

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    Request make(int n, Prices prices, Rules rules) {
        Request r;
        const int family = prices == Prices::exact ? pick(0, 5) : prices == Prices::rounding ? pick(6, 19) : pick(0, 19);
        for (int i = 0; i < n; ++i) {
            r.prices.push_back(price(family));
        }
        if (rules == Rules::any) {
            r.threshold = any_threshold(r.prices);
            any_rules(r, n);
        } else {
            quick_rules(r, n);
        }
        return r;
    }

private:
    std::mt19937_64 random_;

    std::string digits(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += static_cast<char>('0' + pick(0, 9));
        }
        return text;
    }

    std::string sign() { return pick(0, 3) == 0 ? "-" : ""; }

    // Mantissa digits with a point placed `scale` digits from the right.
    static std::string with_point(std::string mantissa, int scale) {
        mantissa.insert(0, static_cast<std::size_t>(std::max(0, scale + 1 - static_cast<int>(mantissa.size()))), '0');
        if (scale > 0) {
            mantissa.insert(mantissa.end() - scale, '.');
        }
        return mantissa;
    }

    std::string one_of(const std::vector<std::string>& values) {
        return values[static_cast<std::size_t>(pick(0, static_cast<int>(values.size()) - 1))];
    }

    std::string price(int family) {
        switch (family) {
            case 0: return sign() + with_point(std::to_string(pick(0, 50000)), pick(0, 5));  // everyday, mixed scales
            case 1: return one_of({"0.1", "0.10", "0.2", "0.25", "-0.1", "0", "1", "1.00"});  // many ties
            case 2: return sign() + std::to_string(pick(0, 9));
            case 3: return sign() + "0." + digits(pick(1, 17));  // float-like text
            case 4: return sign() + with_point(std::to_string(pick(0, 99)), 27);  // averages round near the prices' unit
            case 5: return sign() + digits(6) + "." + digits(10);  // weights beyond 64 bits
            case 6: return "0.123456789012345678901234567" + std::to_string(pick(0, 3));  // differ in the 28th place
            case 7: return "0.0100000000000000000000000" + digits(3);  // averages differ below the 28th place
            case 8:  // near the largest magnitude: rounding, overflow, aborts
                return sign() + one_of({"79228162514264337593543950335", "39614081257132168796771975168",
                                        "7922816251426433759354395033.5", "1", "0.5", "26409387504754779197847983445"});
            case 9: return sign() + digits(1) + "." + digits(pick(20, 28));
            case 10: {  // a tariff plus a third
                Decimal value = dec("0." + std::to_string(pick(10, 90)) + digits(2));
                value += dec("1") / dec("3");
                return to_text(value);
            }
            case 11: return std::to_string(pick(0, 2)) + "." + std::to_string(pick(5, 9)) + digits(27);
            case 12: return to_text(dec(std::to_string(pick(1, 400))) / dec("7"));
            case 13: return sign() + std::to_string(pick(0, 2)) + "." + digits(28);  // negative partial sums
            case 14:  // exact ties, and ties only after rounding
                return one_of({"0.7013333333333333333333333333", "0.7013333333333333333333333334",
                               "0.5013333333333333333333333335", "0.9027777777777777777777777777"});
            case 15: return to_text(Decimal::max_value() / dec(std::to_string(pick(3, 30))));  // totals that overflow
            case 16: return std::to_string(pick(1, 6)) + "." + digits(27) + "5";  // dropped digits exactly half
            case 17: return std::to_string(pick(4, 6)) + "." + digits(28);  // sums cross 2^96 at scale 28, then 27
            case 18:  // both signs near the edge of the range
                return one_of({"26409387504754779197847983445", "-26409387504754779197847983445",
                               "7922816251426433759354395033.5", "-0.5", "0.5", "1", "0.25"});
            default: return sign() + std::to_string(pick(1, 9)) + digits(26) + (pick(0, 1) ? ".5" : ".25");
        }
    }

    std::string any_threshold(const std::vector<std::string>& prices) {
        switch (pick(0, 19)) {
            case 0: return "0";
            case 1: return "-1000000";
            case 2: return "1000000";
            default: return one_of(prices);
        }
    }

    std::uint64_t any_gap(int n) {
        switch (pick(0, 7)) {
            case 0: return 0;
            case 1: return ~std::uint64_t{0};
            case 2: return static_cast<std::uint64_t>(n + pick(0, 3));
            case 3: return static_cast<std::uint64_t>(pick(0, n));
            default: return static_cast<std::uint64_t>(pick(1, 4));
        }
    }

    void any_rules(Request& r, int n) {
        const int size = pick(0, 9) == 0 ? n : pick(1, std::max(1, n - 1));
        r.rules.min_selections = static_cast<std::uint64_t>(size);
        r.rules.min_consecutive_periods = static_cast<std::uint64_t>(pick(1, std::min(size, 4)));
        r.rules.max_gap_between_periods = any_gap(n);
        r.rules.max_gap_from_start = pick(0, 3) == 0 ? r.rules.max_gap_between_periods
                                                     : static_cast<std::uint64_t>(pick(0, static_cast<int>(std::min<std::uint64_t>(r.rules.max_gap_between_periods, 30))));
    }

    void quick_rules(Request& r, int n) {
        std::vector<Decimal> sorted = decimals(r.prices);
        std::sort(sorted.begin(), sorted.end());
        if (pick(0, 2) == 0) {
            // At most the four cheapest periods are cheap; any size of one or two.
            r.threshold = "-79228162514264337593543950335";  // below every price
            for (const std::string& text : r.prices) {
                if (dec(text) < sorted[std::min<std::size_t>(4, sorted.size() - 1)] && dec(text) > dec(r.threshold)) {
                    r.threshold = text;
                }
            }
            const int size = pick(1, 2);
            r.rules = {.min_selections = static_cast<std::uint64_t>(size),
                       .min_consecutive_periods = static_cast<std::uint64_t>(pick(1, size)),
                       .max_gap_between_periods = static_cast<std::uint64_t>(n),
                       .max_gap_from_start = static_cast<std::uint64_t>(pick(0, n))};
            return;
        }
        r.threshold = to_text(sorted[static_cast<std::size_t>(pick(0, n - 2))]);
        const int size = n - pick(1, 3);
        const int gap = pick(0, 1) ? pick(1, 4) : pick(0, n);
        r.rules = {.min_selections = static_cast<std::uint64_t>(size),
                   .min_consecutive_periods = static_cast<std::uint64_t>(pick(1, std::min(size, 6))),
                   .max_gap_between_periods = static_cast<std::uint64_t>(gap),
                   .max_gap_from_start = static_cast<std::uint64_t>(pick(0, gap))};
    }
};

}  // namespace tariffsieve::test
