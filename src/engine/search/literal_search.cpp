// The literal search: rounded sums and averages computed as the exhaustive
// search computes them, for the candidates that exact bounds admit (see
// literal_search.h for the claims L1 to L6).
#include "engine/search/literal_search.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/int128.h"
#include "engine/search/completion_table.h"
#include "engine/search/decimal_integers.h"
#include "engine/search/group_choice.h"
#include "engine/search/main_walk.h"
#include "engine/search/scaled_prices.h"
#include "engine/search/smallest_average.h"
#include "engine/search/weight_width.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

namespace {

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

// Whole units, rounded up, of the positive and of the negative prices, each
// with room for n rounding errors of at most half a unit, and the largest
// scale among the non-zero prices (L1).
struct SignTotals {
    Int128 positive;
    Int128 negative;
    std::uint32_t finest_scale = 0;
};

SignTotals sign_totals(std::span<const Decimal> prices) {
    SignTotals totals;
    for (const Decimal& price : prices) {
        const Int128 whole = ceil_scaled(price, -static_cast<int>(price.scale()));
        if (price.is_negative()) {
            totals.negative += -whole + Int128::from_int64(1);
        } else {
            totals.positive += whole;
        }
        if (!price.is_zero()) {
            totals.finest_scale = std::max(totals.finest_scale, price.scale());
        }
    }
    return totals;
}

// Prices of one sign: every sum is at most the total in magnitude, and the
// exhaustive search adds up the total before anything else. When that
// overflows, so does the exhaustive search, at once.
void overflow_as_the_exhaustive_search(std::span<const Decimal> prices, const SignTotals& totals) {
    if (totals.positive.is_zero() || totals.negative.is_zero()) {
        Decimal total = Decimal::zero();
        for (const Decimal& price : prices) {
            total += price;  // throws Abort("Addition overflowed"), as the exhaustive search does
        }
    }
}

// The largest scale t at which `largest` * 10^t stays below 2^96 (L1).
int lowest_rounding_scale(const Int128& largest) {
    for (int t = Decimal::max_scale; t > 0; --t) {
        const std::optional<Int128> reach = checked_mul(largest, power_of_ten(static_cast<std::uint32_t>(t)));
        if (reach && *reach < two_to_96) {
            return t;
        }
    }
    return 0;
}

// L3: every price truncated at the finest working scale, from `finest` down,
// at which the integers stay below 2^104 in all. At scale 0 every value is
// below 2^96 and the total below 2^97 (L1).
ScaledPrices truncated_prices(std::span<const Decimal> prices, std::uint32_t finest) {
    ScaledPrices truncated;
    for (int working = static_cast<int>(finest);; --working) {
        truncated.value.assign(prices.size(), Int128{});
        truncated.total_magnitude = Int128{};
        bool fits = true;
        for (std::size_t i = 0; i < prices.size() && fits; ++i) {
            const std::optional<Int128> value = truncated_scaled(prices[i], working - static_cast<int>(prices[i].scale()));
            fits = value.has_value();
            if (fits) {
                truncated.value[i] = *value;
                truncated.total_magnitude += magnitude(*value);
                fits = fits_bits(truncated.total_magnitude, 104);
            }
        }
        if (fits || working == 0) {
            truncated.scale = static_cast<std::uint32_t>(working);
            return truncated;
        }
    }
}

// The prices truncated to the working scale (L3), and the lowest scale any
// sum rounds at (L1).
struct Approximation {
    ScaledPrices prices;
    int lowest_rounding_scale = 0;
};

std::optional<Approximation> approximate(std::span<const Decimal> prices) {
    const SignTotals totals = sign_totals(prices);
    const Int128 largest = std::max(totals.positive, totals.negative) + Int128::from_int64(static_cast<std::int64_t>(prices.size()));
    if (!(largest < largest_mantissa)) {
        overflow_as_the_exhaustive_search(prices, totals);
        return std::nullopt;
    }
    return Approximation{truncated_prices(prices, totals.finest_scale), lowest_rounding_scale(largest)};
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
    const int w = static_cast<int>(approx.prices.scale);
    const int d = static_cast<int>(finest_digits(T).scale);
    return ceil_scaled(T, w - static_cast<int>(T.scale())) + ceil_units(10, w - d) +
           ceil_units(5, w - approx.lowest_rounding_scale - 1) + Int128::from_int64(1);
}

// L4: the integer bound on a main combination of k periods whose computed cost is at most T.
Int128 cost_bound(const Approximation& approx, const Decimal& T, int k) {
    const int w = static_cast<int>(approx.prices.scale);
    return ceil_scaled(T, w - static_cast<int>(T.scale())) + ceil_units(k, w - approx.lowest_rounding_scale) +
           Int128::from_int64(k);
}

// The state of one literal search: the best candidate so far and its value.
struct Best {
    std::vector<std::uint64_t> selection;
    Decimal value;
    bool found = false;
};

// The aggressive strategy on rounded averages (L4, L5).
template <typename Int>
class AverageSearch {
public:
    static std::optional<SelectionResult> run(std::span<const Decimal> prices, const SeriesRules& rules,
                                              const Approximation& approx, int size, std::uint64_t budget) {
        return AverageSearch(prices, rules, approx, size, budget).search();
    }

private:
    AverageSearch(std::span<const Decimal> prices, const SeriesRules& rules, const Approximation& approx, int size,
                  std::uint64_t budget)
        : prices_(prices), rules_(rules), approx_(approx), scaled_(approx.prices), size_(size), budget_(budget) {}

    std::span<const Decimal> prices_;
    const SeriesRules& rules_;
    const Approximation& approx_;
    const ScaledPrices& scaled_;  // the truncated prices
    int size_;
    std::uint64_t budget_;
    std::uint64_t visits_ = 0;
    Decimal reference_;  // the computed average of the starting candidate, T0
    Best best_;
    Int128 average_bound_;  // a of L4 for the best value so far: weights c_i - a
    Weights<Int> weights_;
    CompletionTable<Int> table_;
    // The main combination whose masks are being visited.
    const std::vector<int>* main_ = nullptr;
    std::vector<Group> groups_;
    std::vector<Int128> group_sums_;
    std::vector<Int128> helps_below_;  // the lightest weight the groups below j can add
    std::vector<bool> chosen_;

    std::optional<SelectionResult> search() {
        reference_ = literal_average(prices_, integer_optimum());
        if (reference_ == Decimal::max_value()) {
            return std::nullopt;  // such an average is never taken as a first best; leave it to the exhaustive search
        }
        tighten(reference_);
        for (std::vector<int> main = MainWalk<Int>(rules_, weights_, table_, Int{}, false).first(); !main.empty();
             main = MainWalk<Int>(rules_, weights_, table_, Int{}, false).after(main)) {
            if (++visits_ > budget_) {
                return std::nullopt;
            }
            enter(main);
            if (!visit_masks(groups_.size(), sum_of(main), static_cast<std::int64_t>(main.size()))) {
                return std::nullopt;
            }
        }
        if (!best_.found) {
            throw Abort("Literal search lost the candidate it started from");
        }
        return SelectionResult::success(best_.selection);
    }

    // A candidate that is optimal for the integer weights (L5).
    std::vector<std::uint64_t> integer_optimum() {
        smallest_average(rules_, scaled_, size_, weights_, table_);
        const std::vector<int> start = first_main_combination(rules_, weights_, table_, Int{}, false);
        const std::vector<Group> groups = cheap_groups(rules_, start);
        return selection_of(start, groups, first_reaching_mask(weights_, start, groups, Int{}, false));
    }

    Int128 sum_of(const std::vector<int>& periods) const {
        Int128 sum;
        for (int p : periods) {
            sum += scaled_.value[p];
        }
        return sum;
    }

    // Makes `main` the main combination whose masks are visited.
    void enter(const std::vector<int>& main) {
        main_ = &main;
        groups_ = cheap_groups(rules_, main);
        chosen_.assign(groups_.size(), false);
        group_sums_.resize(groups_.size());
        for (std::size_t j = 0; j < groups_.size(); ++j) {
            group_sums_[j] = Int128{};
            for (int p = groups_[j].first; p <= groups_[j].last; ++p) {
                group_sums_[j] += scaled_.value[p];
            }
        }
        refresh_helps();
    }

    Int128 weight(const Int128& sum, std::int64_t count) const {
        return sum - product_in_range(average_bound_, Int128::from_int64(count));
    }

    void tighten(const Decimal& value) {
        const Int128 bound = average_bound(approx_, value);
        if (best_.found && !(bound < average_bound_)) {
            return;
        }
        average_bound_ = bound;
        set_weights(weights_, rules_, scaled_, {average_bound_, Int128::from_int64(1)}, true);
        fill_table(rules_, weights_, size_, table_);
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
        if (groups_[j].admissible && !(Int128{} < weight(sum + group_sums_[j], count + length) + helps_below_[j])) {
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

// The conservative strategy on rounded costs: the first cheapest main
// combination (L4, L5), with every admissible group (claim 7).
template <typename Int>
struct CheapestMain {
    static std::optional<SelectionResult> run(std::span<const Decimal> prices, const SeriesRules& rules,
                                              const Approximation& approx, int size, std::uint64_t budget) {
        Weights<Int> w;
        CompletionTable<Int> table;
        set_weights(w, rules, approx.prices, {Int128{}, Int128::from_int64(1)}, false);
        fill_table(rules, w, size, table);
        auto literal_of = [&](const std::vector<int>& main) {
            return literal_cost(prices, std::vector<std::uint64_t>(main.begin(), main.end()));
        };
        const Decimal reference = literal_of(first_main_combination(rules, w, table, table.start, false));
        Best best;
        std::vector<int> best_main;
        Int bound = narrow<Int>(cost_bound(approx, reference, size));
        std::uint64_t visits = 0;
        for (std::vector<int> main = MainWalk<Int>(rules, w, table, bound, false).first(); !main.empty();
             main = MainWalk<Int>(rules, w, table, bound, false).after(main)) {
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
        const std::vector<Group> groups = cheap_groups(rules, best_main);
        return SelectionResult::success(selection_of(best_main, groups, every_admissible(groups)));
    }
};

}  // namespace

std::optional<SelectionResult> literal_search(std::span<const Decimal> prices, const SeriesRules& rules, int size,
                                              bool aggressive) {
    const std::uint64_t budget = literal_search_budget(prices.size());
    const std::optional<Approximation> approx = approximate(prices);
    if (!approx) {
        return std::nullopt;
    }
    // Every bound the search uses stays within n * sum|c_i| plus small margins.
    const Fraction widest{approx->prices.total_magnitude + Int128::from_int64(1000000), Int128::from_int64(rules.n)};
    return aggressive ? at_weight_width<AverageSearch>(approx->prices, widest, prices, rules, *approx, size, budget)
                      : at_weight_width<CheapestMain>(approx->prices, widest, prices, rules, *approx, size, budget);
}

}  // namespace tariffsieve::search
