// The two strategies on the exact search's table; see exact_search.h for
// why the answers are the exhaustive searches' answers.
#include "engine/search/exact_search.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/completion_table.h"
#include "engine/search/group_choice.h"
#include "engine/search/integer_series.h"
#include "engine/search/weights.h"
#include "engine/search/window_min.h"

namespace tariffsieve::search {

namespace {

// The smallest size from min_selections up with a valid main combination
// (claim 10), from the fewest periods that can follow each period.
int answer_size(const IntegerSeries& series) {
    const int n = series.n;
    const int c = series.min_block;
    const int none = n + 1;
    std::vector<int> fewest(n, none);  // after p, whose block is long enough
    auto entering = [&](int q) { return q + c - 1 <= n - 1 ? std::min(none, c + fewest[q + c - 1]) : n - q; };
    WindowMin<int> jumps(n + 2);
    for (int p = n - 1; p >= 0; --p) {
        int best = n - 1 - p <= series.max_gap ? 0 : none;
        if (p + 1 <= n - 1) {
            best = std::min(best, fewest[p + 1] + 1);
        }
        if (p + 2 <= n - 1) {
            jumps.push_low(p + 2, entering(p + 2));
        }
        jumps.drop_above(p + 1 + series.max_gap);
        if (!jumps.empty()) {
            best = std::min(best, jumps.min());
        }
        fewest[p] = std::min(best, none);
    }
    int smallest = none;
    for (int q = 0; q <= std::min(series.max_start, n - 1); ++q) {
        smallest = std::min(smallest, entering(q));
    }
    if (smallest > n) {
        throw Abort("Exact search found no valid size");  // the whole series is always valid
    }
    return std::max(series.min_size, smallest);
}

template <typename Int>
Int narrow(const Int128& value) {
    if constexpr (std::is_same_v<Int, Int128>) {
        return value;
    } else {
        return to_int64(value);  // the caller checked that it fits
    }
}

// A bound a / b on averages, in units of 10^-scale, b > 0.
struct Bound {
    Int128 numerator;
    Int128 denominator;
};

// Whether every weight sum of `bound` stays below 2^bits: no sum exceeds
// b * sum|c_i| + n * |a|.
bool weights_fit(const IntegerSeries& series, const Bound& bound, unsigned bits) {
    const auto spread = checked_mul(bound.denominator, series.total_magnitude);
    const auto offsets = checked_mul(Int128::from_int64(series.n), magnitude(bound.numerator));
    return spread && offsets && fits_bits(*spread, 124) && fits_bits(*offsets, 124) &&
           fits_bits(*spread + *offsets, bits);
}

template <typename Int>
Weights<Int> weights_for(const IntegerSeries& series, const Bound& bound, bool with_groups) {
    if (!weights_fit(series, bound, Unreachable<Int>::real_bits)) {
        throw Abort("Exact search weights outgrew their width");
    }
    std::vector<Int> of_period(series.n);
    for (int i = 0; i < series.n; ++i) {
        const auto scaled = checked_mul(series.value[i], bound.denominator);
        if (!scaled) {
            throw Abort("Exact search weights outgrew their width");
        }
        of_period[i] = narrow<Int>(*scaled - bound.numerator);
    }
    return make_weights(series, std::move(of_period), with_groups);
}

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

// The lightest candidate under the table's weights: its exact cost and count.
template <typename Int>
Bound lightest_candidate(const IntegerSeries& series, const Weights<Int>& w, const CompletionTable<Int>& table) {
    const std::vector<int> main = first_main_combination(series, w, table, table.start, false);
    Bound ratio{Int128{}, Int128{}};
    std::int64_t count = 0;
    for (int p : main) {
        ratio.numerator += series.value[p];
        ++count;
    }
    for (const Group& group : cheap_groups(series, main)) {
        if (group.admissible && w.sum(group.first, group.last) < Int{}) {
            for (int p = group.first; p <= group.last; ++p) {
                ratio.numerator += series.value[p];
                ++count;
            }
        }
    }
    ratio.denominator = Int128::from_int64(count);
    return ratio;
}

template <typename Int>
SelectionResult aggressive_at(const IntegerSeries& series, int size) {
    // Start from the average of the `size` cheapest prices: usually just
    // below A, so that the first lightest candidate is close to the best.
    std::vector<Int128> sorted = series.value;
    std::sort(sorted.begin(), sorted.end());
    Bound best{Int128{}, Int128::from_int64(size)};
    for (int i = 0; i < size; ++i) {
        best.numerator += sorted[i];
    }
    Weights<Int> w;
    CompletionTable<Int> table;
    const int rounds = series.n - size + 2;  // claim 9
    for (int round = 0;; ++round) {
        if (round == rounds) {
            throw Abort("Dinkelbach's iteration did not settle within its bound");
        }
        w = weights_for<Int>(series, best, true);
        table = fill_table(series, w, size);
        if (table.start == Int{}) {
            break;
        }
        best = lightest_candidate(series, w, table);
    }

    // Q(A), with its last digit at the largest scale that holds it (claim 8).
    const Decimal smallest = divide(to_decimal(best.numerator, series.scale),
                                    Decimal::from_count(static_cast<std::uint64_t>(to_int64(best.denominator))));
    Int128 digits = mantissa_of(smallest);
    std::uint32_t scale = smallest.scale();
    const Int128 limit = Int128::from_words(std::uint64_t{1} << 32, 0);  // 2^96
    while (scale < Decimal::max_scale && product_in_range(digits, Int128::from_int64(10)) < limit) {
        digits = product_in_range(digits, Int128::from_int64(10));
        ++scale;
    }
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

std::optional<SelectionResult> exact_search(std::span<const Decimal> prices, const Decimal& low_price_threshold,
                                            const TimingRules& rules, bool aggressive) {
    const std::optional<IntegerSeries> series = integer_series(prices, low_price_threshold, rules);
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
