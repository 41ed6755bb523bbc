// The two strategies on the exact search's table; see exact_search.h for
// why the answers are the exhaustive searches' answers.
#include "engine/search/exact_search.h"

#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/completion_table.h"
#include "engine/search/decimal_integers.h"
#include "engine/search/group_choice.h"
#include "engine/search/main_walk.h"
#include "engine/search/smallest_average.h"
#include "engine/search/weight_width.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

namespace {

// The cheapest main combination, first in order, with every admissible group (claim 7).
template <typename Int>
struct Conservative {
    static SelectionResult run(const SeriesRules& rules, const ScaledPrices& prices, int size) {
        Weights<Int> w;
        CompletionTable<Int> table;
        set_weights(w, rules, prices, {Int128{}, Int128::from_int64(1)}, false);
        fill_table(rules, w, size, table);
        MainWalk<Int> walk(rules, w, table, table.start, false);
        const std::vector<int>& main = walk.first();
        return SelectionResult::success(with_every_admissible(main, cheap_groups(rules, main)));
    }
};

// The first candidate, in the exhaustive order, that weighs at most zero
// (less than zero when strict) under the table's weights: claims 5 and 6.
template <typename Int>
SelectionResult first_within(const SeriesRules& rules, const Weights<Int>& w, const CompletionTable<Int>& table,
                             bool strict) {
    const Int zero{};
    MainWalk<Int> walk(rules, w, table, zero, strict);
    const std::vector<int>& main = walk.first();
    const std::vector<Group> groups = cheap_groups(rules, main);
    return SelectionResult::success(selection_of(main, groups, first_reaching_mask(w, main, groups, zero, strict)));
}

template <typename Int>
struct FirstWithinBound {
    static SelectionResult run(const SeriesRules& rules, const ScaledPrices& prices, int size, const Fraction& bound,
                               bool strict) {
        Weights<Int> w;
        CompletionTable<Int> table;
        set_weights(w, rules, prices, bound, true);
        fill_table(rules, w, size, table);
        return first_within(rules, w, table, strict);
    }
};

// The bound U of the averages that round to Q(A), the computed smallest
// average held at its finest digits (claim 8), and whether U itself is left
// out (strict).
struct RoundingBound {
    Fraction bound;
    bool strict = false;
};

RoundingBound rounding_bound(const Decimal& smallest, const Digits& finest, std::uint32_t prices_scale) {
    const Int128 two = Int128::from_int64(2);
    if (smallest.is_negative() && finest.scale < Decimal::max_scale && finest.mantissa == crowded_mantissa) {
        // U = -(2^96 - 1/2) * 10^-(d+1), included
        const Int128 two_to_97_less_one = two_to_96 + largest_mantissa;
        return {{-two_to_97_less_one, product_in_range(two, power_of_ten(finest.scale + 1 - prices_scale))}, false};
    }
    const Int128 digits = smallest.is_negative() ? -finest.mantissa : finest.mantissa;
    // A tie at U rounds to even: away from Q(A) when its last digit is odd.
    return {{digits + digits + Int128::from_int64(1), product_in_range(two, power_of_ten(finest.scale - prices_scale))},
            digits.is_odd()};
}

template <typename Int>
struct Aggressive {
    static SelectionResult run(const SeriesRules& rules, const ScaledPrices& prices, int size) {
        Weights<Int> w;
        CompletionTable<Int> table;
        const Fraction best = smallest_average(rules, prices, size, w, table);
        const Decimal smallest = divide(to_decimal(best.numerator, prices.scale),
                                        Decimal::from_count(static_cast<std::uint64_t>(to_int64(best.denominator))));
        const Digits finest = finest_digits(smallest);
        if (finest.scale < prices.scale) {
            throw Abort("An average did not fit at the prices' scale");  // |A| * 10^s < 2^96 (claim 1)
        }
        const Int128 n = Int128::from_int64(rules.n);
        if (power_of_ten(finest.scale - prices.scale) > product_in_range(n, n)) {
            return first_within(rules, w, table, false);  // only A rounds to Q(A)
        }
        const RoundingBound upper = rounding_bound(smallest, finest, prices.scale);
        return at_weight_width<FirstWithinBound>(prices, upper.bound, rules, prices, size, upper.bound, upper.strict);
    }
};

}  // namespace

SelectionResult exact_search(const SeriesRules& rules, const ScaledPrices& prices, int size, bool aggressive) {
    // Every weight sum of any bound the search uses stays below 2 * n * sum|c_i| (claim 3).
    const Fraction widest{prices.total_magnitude, Int128::from_int64(rules.n)};
    return aggressive ? at_weight_width<Aggressive>(prices, widest, rules, prices, size)
                      : at_weight_width<Conservative>(prices, widest, rules, prices, size);
}

}  // namespace tariffsieve::search
