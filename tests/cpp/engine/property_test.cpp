// Seeded random requests of the shared generator checked against brute force
// written independently of the engine: subsets as bitmasks, blocks as runs of
// set bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/reference/validity.h"
#include "request_generator.h"
#include "support.h"

namespace tariffsieve::test {
namespace {

using namespace reference;

using Subset = std::uint32_t;  // bit i = period i; series of at most 12 periods

struct Oracle {
    std::vector<Decimal> prices;
    Subset cheap = 0;
    Request request;
    std::uint64_t n = 0;

    // The timing rules, judged run by run.
    bool valid(Subset s) const {
        if (s == 0) return false;
        const std::uint64_t first = static_cast<std::uint64_t>(std::countr_zero(s));
        const std::uint64_t last = 31 - static_cast<std::uint64_t>(std::countl_zero(s));
        if (first > request.rules.max_gap_from_start || first > request.rules.max_gap_between_periods) return false;
        if (n - 1 - last > request.rules.max_gap_between_periods) return false;
        std::uint64_t i = first;
        while (i <= last) {
            std::uint64_t end = i;
            while (end + 1 <= last && ((s >> (end + 1)) & 1u)) ++end;
            if (end - i + 1 < request.rules.min_consecutive_periods && end != n - 1) return false;
            std::uint64_t next = end + 1;
            while (next <= last && !((s >> next) & 1u)) ++next;
            if (next <= last && next - end - 1 > request.rules.max_gap_between_periods) return false;
            i = next;
        }
        return true;
    }

    Decimal cost(Subset s) const {
        Decimal sum = Decimal::zero();
        for (std::uint64_t i = 0; i < n; ++i) {
            if ((s >> i) & 1u) sum += prices[i];
        }
        return sum;
    }
    Decimal average(Subset s) const { return cost(s) / Decimal::from_count(static_cast<std::uint64_t>(std::popcount(s))); }

    // The valid subsets of size k, in lexicographic order of their index lists.
    std::vector<Subset> main_combinations(std::uint64_t k) const {
        std::vector<std::pair<IndexList, Subset>> found;
        for (Subset s = 0; s < (Subset{1} << n); ++s) {
            if (static_cast<std::uint64_t>(std::popcount(s)) == k && valid(s)) found.push_back({to_indices(s), s});
        }
        std::ranges::sort(found);
        std::vector<Subset> out;
        for (const auto& entry : found) out.push_back(entry.second);
        return out;
    }

    // The unions of the runs of cheap periods outside s, in mask order (the
    // empty choice first); nullopt where the union breaks a timing rule.
    std::vector<std::optional<Subset>> extensions(Subset s) const {
        std::vector<Subset> runs;
        const Subset rest = cheap & ~s;
        for (std::uint64_t i = 0; i < n; ++i) {
            if (!((rest >> i) & 1u)) continue;
            if (i > 0 && ((rest >> (i - 1)) & 1u)) runs.back() |= Subset{1} << i;
            else runs.push_back(Subset{1} << i);
        }
        std::vector<std::optional<Subset>> out;
        for (Subset mask = 0; mask < (Subset{1} << runs.size()); ++mask) {
            Subset x = s;
            for (std::size_t j = 0; j < runs.size(); ++j) {
                if ((mask >> j) & 1u) x |= runs[j];
            }
            out.push_back(valid(x) ? std::optional<Subset>(x) : std::nullopt);
        }
        return out;
    }

    static IndexList to_indices(Subset s) {
        IndexList out;
        for (std::uint64_t i = 0; s >> i; ++i) {
            if ((s >> i) & 1u) out.push_back(i);
        }
        return out;
    }
};

std::string show(const Request& r) {
    std::string text = "prices";
    for (const std::string& price : r.prices) text += " " + price;
    return text + " | threshold " + r.threshold + " | " + std::to_string(r.rules.min_selections) + " " +
           std::to_string(r.rules.min_consecutive_periods) + " " + std::to_string(r.rules.max_gap_between_periods) + " " +
           std::to_string(r.rules.max_gap_from_start);
}

Oracle oracle_for(const Request& r) {
    Oracle o{decimals(r.prices), 0, r, r.prices.size()};
    const Decimal threshold = dec(r.threshold);
    for (std::uint64_t i = 0; i < o.n; ++i) {
        if (o.prices[i] <= threshold) o.cheap |= Subset{1} << i;
    }
    return o;
}

Subset subset_of(const IndexList& indices) {
    Subset s = 0;
    for (const std::uint64_t i : indices) s |= Subset{1} << i;
    return s;
}

// The answer is the candidate of the first feasible size with the least
// average, and the first in order among those with that average.
void check_aggressive(const Oracle& o, const IndexList& answer) {
    for (std::uint64_t k = o.request.rules.min_selections; k <= o.n; ++k) {
        std::vector<Subset> candidates;
        for (const Subset s : o.main_combinations(k)) {
            for (const std::optional<Subset>& x : o.extensions(s)) {
                if (x) candidates.push_back(*x);
            }
        }
        if (candidates.empty()) continue;
        const Subset chosen = subset_of(answer);
        const auto position = std::ranges::find(candidates, chosen);
        ASSERT_NE(position, candidates.end()) << "not a candidate of the first feasible size " << k;
        const Decimal best = o.average(chosen);
        for (auto it = candidates.begin(); it != candidates.end(); ++it) {
            const Decimal average = o.average(*it);
            ASSERT_FALSE(average < best) << "cheaper " << describe(Oracle::to_indices(*it));
            ASSERT_FALSE(it < position && average == best) << "earlier tie " << describe(Oracle::to_indices(*it));
        }
        return;
    }
    FAIL() << "no feasible size";
}

// The main combination is the cheapest of the first feasible size, earliest
// on a tie; the answer adds the most cheap periods, then costs least, then
// has the smallest mask.
void check_conservative(const Oracle& o, const IndexList& answer) {
    for (std::uint64_t k = o.request.rules.min_selections; k <= o.n; ++k) {
        const std::vector<Subset> mains = o.main_combinations(k);
        if (mains.empty()) continue;
        Subset main_combination = mains.front();
        for (const Subset s : mains) {
            if (o.cost(s) < o.cost(main_combination)) main_combination = s;
        }
        const std::vector<std::optional<Subset>> all = o.extensions(main_combination);
        std::vector<Subset> admissible;
        for (std::size_t mask = 1; mask < all.size(); ++mask) {
            if (all[mask]) admissible.push_back(*all[mask]);
        }
        Subset expected = main_combination;
        if (!admissible.empty()) {
            int most = 0;
            for (const Subset x : admissible) most = std::max(most, std::popcount(x & o.cheap));
            std::erase_if(admissible, [&](Subset x) { return std::popcount(x & o.cheap) != most; });
            expected = admissible.front();
            for (const Subset x : admissible) {
                if (o.cost(x) < o.cost(expected)) expected = x;
            }
        }
        EXPECT_EQ(describe(answer), describe(Oracle::to_indices(expected)));
        return;
    }
    FAIL() << "no feasible size";
}

TEST(Properties, RandomRequestsMatchBruteForce) {
    RequestGenerator make(20240607);
    for (int round = 0; round < 4000; ++round) {
        const Request request = make.make(make.pick(2, 12), Prices::exact, Rules::any);
        const Oracle oracle = oracle_for(request);
        for (const bool aggressive : {true, false}) {
            SCOPED_TRACE(show(request) + (aggressive ? " | aggressive" : " | conservative"));
            const SelectionResult result = run(request, aggressive);
            ASSERT_TRUE(result.ok()) << result.error;
            const IndexList& answer = result.indices;
            ASSERT_GE(answer.size(), request.rules.min_selections);
            ASSERT_TRUE(std::ranges::adjacent_find(answer, std::ranges::greater_equal{}) == answer.end())
                << describe(answer);
            std::vector<PricedPeriod> priced;
            for (const std::uint64_t i : answer) priced.push_back({i, oracle.prices.at(i)});
            EXPECT_TRUE(is_valid_combination(priced, request.rules, oracle.n));
            EXPECT_EQ(describe(run(request, aggressive)), describe(answer)) << "not deterministic";
            if (oracle.cheap == (Subset{1} << oracle.n) - 1) {
                EXPECT_EQ(answer.size(), oracle.n) << "every period is cheap";
            } else if (aggressive) {
                check_aggressive(oracle, answer);
            } else {
                check_conservative(oracle, answer);
            }
        }
    }
}

TEST(Properties, ValidityAgreesWithRunsOfSetBits) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 20000; ++round) {
        Oracle o;
        o.n = std::uniform_int_distribution<std::uint64_t>(1, 12)(rng);
        o.request.rules.min_consecutive_periods = std::uniform_int_distribution<std::uint64_t>(1, 5)(rng);
        o.request.rules.max_gap_between_periods = std::uniform_int_distribution<std::uint64_t>(0, o.n)(rng);
        o.request.rules.max_gap_from_start = std::uniform_int_distribution<std::uint64_t>(0, o.n)(rng);
        const Subset s = static_cast<Subset>(rng()) & ((Subset{1} << o.n) - 1);
        EXPECT_EQ(is_valid_combination(at(Oracle::to_indices(s)), o.request.rules, o.n),
                  o.valid(s))
            << describe(Oracle::to_indices(s)) << " n=" << o.n;
    }
}

}  // namespace
}  // namespace tariffsieve::test
