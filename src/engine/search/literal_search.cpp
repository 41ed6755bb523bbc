// The literal search: rounded sums and averages computed as the exhaustive
// search computes them, for the candidates that exact bounds admit (see
// literal_search.h for the claims L1 to L6).
#include "engine/search/literal_search.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/int128.h"
#include "engine/search/answer_size.h"
#include "engine/search/bounded_weights.h"
#include "engine/search/completion_table.h"
#include "engine/search/group_choice.h"
#include "engine/search/integer_series.h"
#include "engine/search/smallest_average.h"

namespace tariffsieve::search {

namespace {

const Int128 two_to_96 = Int128::from_words(std::uint64_t{1} << 32, 0);

// |value| / 10^exponent, rounded towards zero, and whether anything was cut.
struct Quotient {
    Int128 value;
    bool inexact = false;
};

Quotient divide_by_power_of_ten(const Int128& magnitude_value, std::uint32_t exponent) {
    std::uint32_t words[4] = {static_cast<std::uint32_t>(magnitude_value.lo),
                              static_cast<std::uint32_t>(magnitude_value.lo >> 32),
                              static_cast<std::uint32_t>(magnitude_value.hi),
                              static_cast<std::uint32_t>(magnitude_value.hi >> 32)};
    bool inexact = false;
    for (std::uint32_t step = 0; step < exponent; ++step) {
        std::uint64_t remainder = 0;
        for (int i = 3; i >= 0; --i) {
            const std::uint64_t current = (remainder << 32) | words[i];
            words[i] = static_cast<std::uint32_t>(current / 10);
            remainder = current % 10;
        }
        inexact = inexact || remainder != 0;
    }
    return {Int128::from_words((std::uint64_t{words[3]} << 32) | words[2], (std::uint64_t{words[1]} << 32) | words[0]),
            inexact};
}

// The mantissa times 10^exponent, with the value's sign, truncated towards
// zero; nothing when it reaches 2^120.
std::optional<Int128> truncated_scaled(const Decimal& value, int exponent) {
    const Int128 m = mantissa_of(value);
    Int128 scaled;
    if (exponent >= 0) {
        const std::optional<Int128> product = checked_mul(m, power_of_ten(static_cast<std::uint32_t>(exponent)));
        if (!product || !fits_bits(*product, 120)) {
            return std::nullopt;
        }
        scaled = *product;
    } else {
        scaled = divide_by_power_of_ten(m, static_cast<std::uint32_t>(-exponent)).value;
    }
    return value.is_negative() ? -scaled : scaled;
}

// ceil(mantissa * 10^exponent) with the value's sign, below 2^120 in magnitude.
Int128 ceil_scaled(const Decimal& value, int exponent) {
    if (exponent >= 0) {
        const Int128 scaled = product_in_range(mantissa_of(value), power_of_ten(static_cast<std::uint32_t>(exponent)));
        return value.is_negative() ? -scaled : scaled;
    }
    const Quotient q = divide_by_power_of_ten(mantissa_of(value), static_cast<std::uint32_t>(-exponent));
    if (value.is_negative()) {
        return -q.value;  // towards zero is up
    }
    return q.inexact ? q.value + Int128::from_int64(1) : q.value;
}

// ceil(count * 10^exponent) for a small count >= 0.
Int128 ceil_units(std::int64_t count, int exponent) {
    if (exponent >= 0) {
        return product_in_range(Int128::from_int64(count), power_of_ten(static_cast<std::uint32_t>(exponent)));
    }
    const Quotient q = divide_by_power_of_ten(Int128::from_int64(count), static_cast<std::uint32_t>(-exponent));
    return q.inexact ? q.value + Int128::from_int64(1) : q.value;
}

// The series with every price truncated to the working scale (L3), and the
// lowest scale any sum rounds at (L1).
struct Approximation {
    IntegerSeries series;
    int lowest_rounding_scale = 0;
};

std::optional<Approximation> approximate(std::span<const Decimal> prices, const IntegerSeries& rules) {
    const int n = static_cast<int>(prices.size());
    // L1: the positive and the negative prices, each in whole units rounded
    // up, with room for n rounding errors of at most half a unit.
    Int128 positive;
    Int128 negative;
    std::uint32_t finest = 0;
    for (const Decimal& price : prices) {
        const int to_units = -static_cast<int>(price.scale());
        const Int128 whole = price.is_negative() ? Int128{} : ceil_scaled(price, to_units);
        const Int128 whole_negative = price.is_negative() ? -ceil_scaled(price, to_units) + Int128::from_int64(1) : Int128{};
        positive += whole;
        negative += whole_negative;
        if (!price.is_zero()) {
            finest = std::max(finest, price.scale());
        }
    }
    const Int128 largest = std::max(positive, negative) + Int128::from_int64(n);
    if (!(largest < two_to_96 - Int128::from_int64(1))) {
        // Prices of one sign: every sum is at most the total in magnitude, and
        // the exhaustive search adds up the total before anything else. When
        // that overflows, so does the exhaustive search, at once.
        if (positive.is_zero() || negative.is_zero()) {
            Decimal total = Decimal::zero();
            for (const Decimal& price : prices) {
                total += price;  // throws Abort("Addition overflowed"), as the exhaustive search does
            }
        }
        return std::nullopt;
    }
    Approximation approximation;
    approximation.lowest_rounding_scale = 0;
    for (int t = Decimal::max_scale; t > 0; --t) {
        const std::optional<Int128> reach = checked_mul(largest, power_of_ten(static_cast<std::uint32_t>(t)));
        if (reach && *reach < two_to_96) {
            approximation.lowest_rounding_scale = t;
            break;
        }
    }
    // L3: the finest working scale at which the integers stay below 2^104 in all.
    IntegerSeries& series = approximation.series;
    series = rules;
    for (int working = static_cast<int>(finest);; --working) {
        series.value.assign(n, Int128{});
        series.total_magnitude = Int128{};
        bool fits = true;
        for (int i = 0; i < n && fits; ++i) {
            const std::optional<Int128> value =
                truncated_scaled(prices[i], working - static_cast<int>(prices[i].scale()));
            fits = value.has_value();
            if (fits) {
                series.value[i] = *value;
                series.total_magnitude += magnitude(*value);
                fits = fits_bits(series.total_magnitude, 104);
            }
        }
        if (fits || working == 0) {
            series.scale = static_cast<std::uint32_t>(working);
            return approximation;  // at scale 0 every value is below 2^96, the total below 2^97 (L1)
        }
    }
}

Decimal literal_cost(std::span<const Decimal> prices, const std::vector<std::uint64_t>& indices) {
    Decimal sum = Decimal::zero();
    for (std::uint64_t i : indices) {
        sum += prices[i];
    }
    return sum;
}

Decimal literal_average(std::span<const Decimal> prices, const std::vector<std::uint64_t>& indices) {
    return divide(literal_cost(prices, indices), Decimal::from_count(indices.size()));
}

// L4: the integer bound a for candidates whose computed average is at most T.
Int128 average_bound(const Approximation& approx, const Decimal& T) {
    const int w = static_cast<int>(approx.series.scale);
    const int d = static_cast<int>(finest_digits(T).scale);
    return ceil_scaled(T, w - static_cast<int>(T.scale())) + ceil_units(10, w - d) +
           ceil_units(5, w - approx.lowest_rounding_scale - 1) + Int128::from_int64(1);
}

// L4: the integer bound on a main combination of k periods whose computed cost is at most T.
Int128 cost_bound(const Approximation& approx, const Decimal& T, int k) {
    const int w = static_cast<int>(approx.series.scale);
    return ceil_scaled(T, w - static_cast<int>(T.scale())) + ceil_units(k, w - approx.lowest_rounding_scale) +
           Int128::from_int64(k);
}

// The state of one literal search: the best candidate so far and its value.
struct Best {
    std::vector<std::uint64_t> selection;
    Decimal value;
    bool found = false;
};

template <typename Int>
class AverageSearch {
public:
    AverageSearch(std::span<const Decimal> prices, const Approximation& approx, int size, std::uint64_t budget)
        : prices_(prices), approx_(approx), series_(approx.series), size_(size), budget_(budget) {}

    std::optional<SelectionResult> run() {
        // A candidate that is optimal for the integer weights (L5).
        const SmallestAverage<Int> settled = smallest_average<Int>(series_, size_);
        const std::vector<int> start = first_main_combination(series_, settled.weights, settled.table, Int{}, false);
        const std::vector<Group> start_groups = cheap_groups(series_, start);
        const std::vector<std::uint64_t> first =
            selection_of(start, start_groups, first_reaching_mask(settled.weights, start, start_groups, Int{}, false));
        reference_ = literal_average(prices_, first);
        if (reference_ == Decimal::max_value()) {
            return std::nullopt;  // such an average is never taken as a first best; leave it to the exhaustive search
        }
        tighten(reference_);
        std::vector<int> main = MainWalk<Int>(series_, weights_, table_, Int{}, false).first();
        while (!main.empty()) {
            if (++visits_ > budget_) {
                return std::nullopt;
            }
            groups_ = cheap_groups(series_, main);
            Int128 main_sum;
            for (int p : main) {
                main_sum += series_.value[p];
            }
            main_ = &main;
            chosen_.assign(groups_.size(), false);
            group_sums_.resize(groups_.size());
            for (std::size_t j = 0; j < groups_.size(); ++j) {
                group_sums_[j] = Int128{};
                for (int p = groups_[j].first; p <= groups_[j].last; ++p) {
                    group_sums_[j] += series_.value[p];
                }
            }
            refresh_helps();
            if (!visit_masks(groups_.size(), main_sum, static_cast<std::int64_t>(main.size()))) {
                return std::nullopt;
            }
            main = MainWalk<Int>(series_, weights_, table_, Int{}, false).after(main);
        }
        if (!best_.found) {
            throw Abort("Literal search lost the candidate it started from");
        }
        return SelectionResult::success(best_.selection);
    }

private:
    std::span<const Decimal> prices_;
    const Approximation& approx_;
    const IntegerSeries& series_;
    int size_;
    std::uint64_t budget_;
    std::uint64_t visits_ = 0;
    Decimal reference_;
    Best best_;
    Int128 a_;
    Weights<Int> weights_;
    CompletionTable<Int> table_;
    // The main combination whose masks are being visited.
    const std::vector<int>* main_ = nullptr;
    std::vector<Group> groups_;
    std::vector<Int128> group_sums_;
    std::vector<Int128> helps_below_;  // the lightest weight the groups below j can add
    std::vector<bool> chosen_;

    Int128 weight(const Int128& sum, std::int64_t count) const {
        return sum - product_in_range(a_, Int128::from_int64(count));
    }

    void tighten(const Decimal& value) {
        const Int128 a = average_bound(approx_, value);
        if (best_.found && !(a < a_)) {
            return;
        }
        a_ = a;
        weights_ = weights_for<Int>(series_, {a_, Int128::from_int64(1)}, true);
        table_ = fill_table(series_, weights_, size_);
        if (main_ != nullptr) {
            refresh_helps();
        }
    }

    void refresh_helps() {
        helps_below_.assign(groups_.size() + 1, Int128{});
        for (std::size_t j = 0; j < groups_.size(); ++j) {
            const Int128 w = weight(group_sums_[j], groups_[j].last - groups_[j].first + 1);
            helps_below_[j + 1] = helps_below_[j] + (groups_[j].admissible && w.is_negative() ? w : Int128{});
        }
    }

    // Masks in increasing order: the groups from the highest down, each left
    // out before it is taken, a branch skipped when even the helpful groups
    // below cannot bring the weight to zero (claim 6). False when the budget
    // runs out.
    bool visit_masks(std::size_t level, const Int128& sum, std::int64_t count) {
        if (level == 0) {
            return evaluate();
        }
        const std::size_t j = level - 1;
        if (!(Int128{} < weight(sum, count) + helps_below_[j])) {
            if (!visit_masks(j, sum, count)) {
                return false;
            }
        }
        const std::int64_t length = groups_[j].last - groups_[j].first + 1;
        if (groups_[j].admissible &&
            !(Int128{} < weight(sum + group_sums_[j], count + length) + helps_below_[j])) {
            chosen_[j] = true;
            const bool within_budget = visit_masks(j, sum + group_sums_[j], count + length);
            chosen_[j] = false;
            return within_budget;
        }
        return true;
    }

    bool evaluate() {
        if (++visits_ > budget_) {
            return false;
        }
        std::vector<std::uint64_t> selection = selection_of(*main_, groups_, chosen_);
        const Decimal value = literal_average(prices_, selection);
        if (best_.found ? value < best_.value : value <= reference_) {
            best_.found = true;
            best_.selection = std::move(selection);
            best_.value = value;
            tighten(value);
        }
        return true;
    }
};

template <typename Int>
std::optional<SelectionResult> cheapest_main(std::span<const Decimal> prices, const Approximation& approx, int size,
                                             std::uint64_t budget) {
    const IntegerSeries& series = approx.series;
    const Weights<Int> w = weights_for<Int>(series, {Int128{}, Int128::from_int64(1)}, false);
    const CompletionTable<Int> table = fill_table(series, w, size);
    auto literal_of = [&](const std::vector<int>& main) {
        return literal_cost(prices, std::vector<std::uint64_t>(main.begin(), main.end()));
    };
    const std::vector<int> start = first_main_combination(series, w, table, table.start, false);
    const Decimal reference = literal_of(start);
    Best best;
    std::vector<int> best_main;
    Int bound = narrow<Int>(cost_bound(approx, reference, size));
    std::uint64_t visits = 0;
    for (std::vector<int> main = MainWalk<Int>(series, w, table, bound, false).first(); !main.empty();
         main = MainWalk<Int>(series, w, table, bound, false).after(main)) {
        if (++visits > budget) {
            return std::nullopt;
        }
        const Decimal value = literal_of(main);
        if (best.found ? value < best.value : value <= reference) {
            best.found = true;
            best.value = value;
            best_main = main;
            bound = narrow<Int>(cost_bound(approx, value, size));
        }
    }
    if (!best.found) {
        throw Abort("Literal search lost the combination it started from");
    }
    // The most cheap periods: every admissible group (claim 7).
    const std::vector<Group> groups = cheap_groups(series, best_main);
    std::vector<bool> chosen(groups.size());
    for (std::size_t j = 0; j < groups.size(); ++j) {
        chosen[j] = groups[j].admissible;
    }
    return SelectionResult::success(selection_of(best_main, groups, chosen));
}

}  // namespace

std::optional<SelectionResult> literal_search(std::span<const Decimal> prices, const IntegerSeries& rules,
                                              bool aggressive) {
    const std::uint64_t budget = literal_search_budget(prices.size());
    const std::optional<Approximation> approx = approximate(prices, rules);
    if (!approx) {
        return std::nullopt;
    }
    const int size = answer_size(approx->series);
    // Every bound the search uses stays within n * sum|c_i| plus small margins.
    const Bound widest{approx->series.total_magnitude + Int128::from_int64(1000000),
                       Int128::from_int64(approx->series.n)};
    if (aggressive) {
        if (weights_fit(approx->series, widest, Unreachable<std::int64_t>::real_bits)) {
            return AverageSearch<std::int64_t>(prices, *approx, size, budget).run();
        }
        return AverageSearch<Int128>(prices, *approx, size, budget).run();
    }
    if (weights_fit(approx->series, widest, Unreachable<std::int64_t>::real_bits)) {
        return cheapest_main<std::int64_t>(prices, *approx, size, budget);
    }
    return cheapest_main<Int128>(prices, *approx, size, budget);
}

}  // namespace tariffsieve::search
