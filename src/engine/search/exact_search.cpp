// The two strategies on the exact search's table; see exact_search.h for
// why the answers are the exhaustive searches' answers.
#include "engine/search/exact_search.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/answer_size.h"
#include "engine/search/bounded_weights.h"
#include "engine/search/completion_table.h"
#include "engine/search/group_choice.h"
#include "engine/search/integer_series.h"
#include "engine/search/smallest_average.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

namespace {

SelectionResult selection(const std::vector<int>& main, const std::vector<Group>& groups,
                          const std::vector<bool>& chosen) {
    return SelectionResult::success(selection_of(main, groups, chosen));
}

template <typename Int>
SelectionResult conservative_at(const IntegerSeries& series, int size) {
    const Weights<Int> w = weights_for<Int>(series, {Int128{}, Int128::from_int64(1)}, false);
    const CompletionTable<Int> table = fill_table(series, w, size);
    const std::vector<int> main = first_main_combination(series, w, table, table.start, false);  // claim 7
    const std::vector<Group> groups = cheap_groups(series, main);
    std::vector<bool> chosen(groups.size());
    for (std::size_t j = 0; j < groups.size(); ++j) {
        chosen[j] = groups[j].admissible;
    }
    return selection(main, groups, chosen);
}

// The first candidate, in the exhaustive order, that weighs at most zero
// under `bound` (less than zero when strict): claims 5 and 6.
template <typename Int>
SelectionResult first_within(const IntegerSeries& series, const Weights<Int>& w, const CompletionTable<Int>& table,
                             bool strict) {
    const Int zero{};
    const std::vector<int> main = first_main_combination(series, w, table, zero, strict);
    const std::vector<Group> groups = cheap_groups(series, main);
    return selection(main, groups, first_reaching_mask(w, main, groups, zero, strict));
}

template <typename Int>
SelectionResult first_within_bound(const IntegerSeries& series, int size, const Bound& bound, bool strict) {
    const Weights<Int> w = weights_for<Int>(series, bound, true);
    const CompletionTable<Int> table = fill_table(series, w, size);
    return first_within(series, w, table, strict);
}

SelectionResult first_within_bound(const IntegerSeries& series, int size, const Bound& bound, bool strict) {
    if (weights_fit(series, bound, Unreachable<std::int64_t>::real_bits)) {
        return first_within_bound<std::int64_t>(series, size, bound, strict);
    }
    return first_within_bound<Int128>(series, size, bound, strict);
}

template <typename Int>
SelectionResult aggressive_at(const IntegerSeries& series, int size) {
    const SmallestAverage<Int> settled = smallest_average<Int>(series, size);
    const Bound& best = settled.ratio;
    const Weights<Int>& w = settled.weights;
    const CompletionTable<Int>& table = settled.table;

    // Q(A), with its last digit at the largest scale that holds it (claim 8).
    const Decimal smallest = divide(to_decimal(best.numerator, series.scale),
                                    Decimal::from_count(static_cast<std::uint64_t>(to_int64(best.denominator))));
    const Digits finest = finest_digits(smallest);
    Int128 digits = finest.mantissa;
    const std::uint32_t scale = finest.scale;
    if (scale < series.scale) {
        throw Abort("An average did not fit at the prices' scale");  // |A| * 10^s < 2^96 (claim 1)
    }
    const Int128 n = Int128::from_int64(series.n);
    if (power_of_ten(scale - series.scale) > product_in_range(n, n)) {
        return first_within(series, w, table, false);  // only A rounds to Q(A)
    }
    const Int128 crowded = Int128::from_words(0x19999999u, 0x999999999999999Au);  // 7922816251426433759354395034
    if (smallest.is_negative() && scale < Decimal::max_scale && digits == crowded) {
        const Int128 two_to_97_less_one = Int128::from_words((std::uint64_t{1} << 33) - 1, ~std::uint64_t{0});
        const Bound upper{-two_to_97_less_one, product_in_range(Int128::from_int64(2), power_of_ten(scale + 1 - series.scale))};
        return first_within_bound(series, size, upper, false);
    }
    if (smallest.is_negative()) {
        digits = -digits;
    }
    const Bound upper{digits + digits + Int128::from_int64(1),
                      product_in_range(Int128::from_int64(2), power_of_ten(scale - series.scale))};
    return first_within_bound(series, size, upper, digits.is_odd());  // a tie at U rounds away when q is odd
}

}  // namespace

std::optional<SelectionResult> exact_search(std::span<const Decimal> prices, const IntegerSeries& rules,
                                            bool aggressive) {
    const std::optional<IntegerSeries> series = integer_series(prices, rules);
    if (!series) {
        return std::nullopt;
    }
    const int size = answer_size(*series);
    // Everyday prices run in 64 bits: every weight sum of any bound the
    // search uses stays below 2 * n * sum|c_i| (claim 3).
    const Bound widest{series->total_magnitude, Int128::from_int64(series->n)};
    const bool narrow_fits = weights_fit(*series, widest, Unreachable<std::int64_t>::real_bits);
    if (aggressive) {
        return narrow_fits ? aggressive_at<std::int64_t>(*series, size) : aggressive_at<Int128>(*series, size);
    }
    return narrow_fits ? conservative_at<std::int64_t>(*series, size) : conservative_at<Int128>(*series, size);
}

}  // namespace tariffsieve::search
