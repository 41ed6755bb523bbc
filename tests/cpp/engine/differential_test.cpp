// The fast search against the exhaustive one on seeded random requests: the
// same indices, the same error or the same abort, for every request.
// TARIFFSIEVE_DIFFERENTIAL_REQUESTS=N sets the number of requests (long runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decimal/abort.h"
#include "engine/fast_search.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

// The outcome of one request as text: indices, error or abort.
std::string outcome(const Request& r, bool aggressive, Search search) {
    try {
        return describe(run(r, aggressive, search));
    } catch (const Abort& abort) {
        return std::string("abort: ") + abort.what();
    }
}

std::string show(const Request& r, bool aggressive) {
    std::ostringstream out;
    out << "prices [";
    for (std::size_t i = 0; i < r.prices.size(); ++i) {
        out << (i ? ", " : "") << '"' << r.prices[i] << '"';
    }
    out << "] threshold \"" << r.threshold << "\" min_selections " << r.rules.min_selections << " min_consecutive_periods "
        << r.rules.min_consecutive_periods << " max_gap_between_periods " << r.rules.max_gap_between_periods
        << " max_gap_from_start " << r.rules.max_gap_from_start << " aggressive " << aggressive;
    return out.str();
}

std::uint64_t requests_from_environment(std::uint64_t fallback) {
    const char* text = std::getenv("TARIFFSIEVE_DIFFERENTIAL_REQUESTS");
    return text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Random requests of every kind the fast search must match.
class RequestMaker {
public:
    explicit RequestMaker(std::uint64_t seed) : random_(seed) {}

    Request make(int min_n, int max_n) {
        Request r;
        const int n = pick(min_n, max_n);
        const int style = pick(0, 7);
        for (int i = 0; i < n; ++i) {
            r.prices.push_back(price(style));
        }
        r.threshold = threshold(r.prices);
        const std::uint64_t size = static_cast<std::uint64_t>(n);
        if (pick(0, 9) == 0) {  // anything, rule violations included
            r.rules.min_selections = count(size);
            r.rules.min_consecutive_periods = count(size);
            r.rules.max_gap_between_periods = gap(size);
            r.rules.max_gap_from_start = gap(size);
            return r;
        }
        // Requests that reach a strategy.
        r.rules.min_selections = size > 1 ? static_cast<std::uint64_t>(pick(1, n - 1)) : 1;
        r.rules.min_consecutive_periods = static_cast<std::uint64_t>(pick(1, static_cast<int>(std::min<std::uint64_t>(r.rules.min_selections, 4))));
        r.rules.max_gap_between_periods = gap(size);
        r.rules.max_gap_from_start = pick(0, 3) == 0 ? r.rules.max_gap_between_periods
                                               : static_cast<std::uint64_t>(pick(0, static_cast<int>(std::min<std::uint64_t>(r.rules.max_gap_between_periods, 30))));
        return r;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string digits(int length) {
        std::string text;
        for (int i = 0; i < length; ++i) {
            text += static_cast<char>('0' + pick(0, 9));
        }
        return text;
    }

    // Mantissa digits with a point placed `scale` digits from the right.
    static std::string with_point(std::string mantissa, int scale) {
        while (static_cast<int>(mantissa.size()) <= scale) {
            mantissa.insert(mantissa.begin(), '0');
        }
        if (scale > 0) {
            mantissa.insert(mantissa.end() - scale, '.');
        }
        return mantissa;
    }

    std::string sign() { return pick(0, 3) == 0 ? "-" : ""; }

    std::string price(int style) {
        switch (style) {
            case 0:  // everyday prices, mixed scales and signs
                return sign() + with_point(std::to_string(pick(0, 50000)), pick(0, 5));
            case 1:  // few distinct values: many ties
                return std::vector<std::string>{"0.1", "0.10", "0.2", "0.25", "-0.1", "0"}[pick(0, 5)];
            case 2:  // prices that differ only in the 28th decimal place
                return "0.123456789012345678901234567" + std::to_string(pick(0, 3));
            case 3:  // averages whose exact values differ below the 28th place
                return "0.0100000000000000000000000" + digits(3);
            case 4:  // near the largest magnitude: rounding, overflow, aborts
                return sign() + std::vector<std::string>{"79228162514264337593543950335", "39614081257132168796771975168",
                                                         "7922816251426433759354395033.5", "1", "0.5",
                                                         "26409387504754779197847983445"}[pick(0, 5)];
            case 5:  // fine scales at magnitudes that make the fast path step aside
                return sign() + digits(1) + "." + digits(pick(20, 28));
            case 6:  // float-like text
                return sign() + "0." + digits(pick(1, 17));
            default:  // small integers
                return sign() + std::to_string(pick(0, 9));
        }
    }

    std::string threshold(const std::vector<std::string>& prices) {
        switch (pick(0, 19)) {
            case 0:
                return "0";
            case 1:
                return "-1000000";
            case 2:
                return "1000000";
            default:
                return prices.empty() ? "0" : prices[static_cast<std::size_t>(pick(0, static_cast<int>(prices.size()) - 1))];
        }
    }

    std::uint64_t count(std::uint64_t n) { return static_cast<std::uint64_t>(pick(0, static_cast<int>(n) + 1)); }

    std::uint64_t gap(std::uint64_t n) {
        switch (pick(0, 7)) {
            case 0:
                return 0;
            case 1:
                return ~std::uint64_t{0};
            case 2:
                return n + static_cast<std::uint64_t>(pick(0, 3));
            default:
                return static_cast<std::uint64_t>(pick(1, 4));
        }
    }

    std::mt19937_64 random_;
};

// Whether the fast search itself answers r (rather than stepping aside).
bool reaches_fast_path(const Request& r) {
    const std::vector<PricedPeriod> periods = series(r.prices);
    const Decimal threshold = dec(r.threshold);
    std::vector<PricedPeriod> cheap;
    for (const PricedPeriod& p : periods) {
        if (p.price <= threshold) cheap.push_back(p);
    }
    if (broken_request_rule(periods.size(), r.rules, max_exhaustive_periods, "too long") != nullptr ||
        r.rules.min_selections == periods.size() || cheap.size() == periods.size()) {
        return false;
    }
    return fast_cheapest_periods(periods, cheap, r.rules, true).has_value();
}

// Both strategies of r, fast against exhaustive; returns how many differed.
int compare(const Request& r) {
    int mismatches = 0;
    for (const bool aggressive : {true, false}) {
        const std::string fast = outcome(r, aggressive, Search::fast);
        const std::string reference = outcome(r, aggressive, Search::exhaustive);
        if (fast != reference) {
            ++mismatches;
            ADD_FAILURE() << show(r, aggressive) << "\n  fast:       " << fast << "\n  exhaustive: " << reference;
        }
    }
    return mismatches;
}

void compare_many(std::uint64_t seed, std::uint64_t requests, int min_n, int max_n) {
    RequestMaker maker(seed);
    std::uint64_t mismatches = 0;
    std::uint64_t answered_fast = 0;
    for (std::uint64_t i = 0; i < requests && mismatches < 5; ++i) {
        const Request r = maker.make(min_n, max_n);
        answered_fast += reaches_fast_path(r) ? 1 : 0;
        mismatches += compare(r);
    }
    // The rest are rule violations, trivial answers and prices the fast
    // search leaves to the exhaustive one; it must still answer many itself.
    EXPECT_GT(answered_fast * 4, requests) << answered_fast << " of " << requests << " answered by the fast search";
    std::cout << "  " << requests << " requests, " << answered_fast << " answered by the fast search itself\n";
}

TEST(Differential, SmallSeriesMatchTheExhaustiveSearch) {
    compare_many(20261207, requests_from_environment(100000), 1, 10);
}

TEST(Differential, MediumSeriesMatchTheExhaustiveSearch) {
    compare_many(7, requests_from_environment(100000) / 10, 11, 16);
}

// Long series, under constraints that keep the exhaustive search to seconds:
// few cheap periods, and sizes near either end.
TEST(Differential, LongSeriesMatchTheExhaustiveSearch) {
    RequestMaker maker(28);
    std::mt19937_64 random(28);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    int mismatches = 0;
    for (int i = 0; i < 30 && mismatches < 3; ++i) {
        Request r = maker.make(20, 28);
        const int n = static_cast<int>(r.prices.size());
        std::vector<Decimal> sorted = decimals(r.prices);
        std::sort(sorted.begin(), sorted.end(), [](const Decimal& a, const Decimal& b) { return a < b; });
        r.threshold = r.prices[0];
        for (const std::string& text : r.prices) {
            if (dec(text) <= sorted[static_cast<std::size_t>(pick(0, 3))]) r.threshold = text;
        }
        r.rules.min_selections = static_cast<std::uint64_t>(pick(0, 1) ? pick(1, 2) : pick(n - 3, n - 1));
        r.rules.min_consecutive_periods = static_cast<std::uint64_t>(pick(1, std::min<int>(static_cast<int>(r.rules.min_selections), 3)));
        r.rules.max_gap_between_periods = static_cast<std::uint64_t>(pick(0, 1) ? pick(1, 3) : n);
        r.rules.max_gap_from_start = static_cast<std::uint64_t>(pick(0, static_cast<int>(r.rules.max_gap_between_periods)));
        mismatches += compare(r);
    }
}

}  // namespace
}  // namespace tariffsieve::test
