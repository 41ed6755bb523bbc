// The fast search. Why it gives the exhaustive searches' answers:
//
// Exact sums. Bring every price to the largest scale s among the non-zero
// prices; c_i is price i times 10^s, an integer. If the sum of all |c_i| is
// below 2^95, every partial sum of any subset, at any scale up to s, fits 96
// bits, so every decimal addition the exhaustive search makes is exact and
// never overflows, and a selection's cost is exactly its integer sum over
// 10^s. Otherwise we return nothing and the caller runs the exhaustive search.
//
// Candidates. For a main combination M (valid under the timing rules) the
// cheap groups are the maximal runs of cheap periods outside M. Adding groups
// to M never breaks a gap rule, and it breaks the block rule exactly when an
// added group touches no period of M, is shorter than min_consecutive_periods
// and does not end at the last period ("inadmissible"); every other choice of
// groups keeps every block valid. So the candidates of a size k are the pairs
// (valid M of size k, any subset of M's admissible groups).
//
// Weights. For a rational bound a/b, a candidate X has cost(X)/|X| <= a/b
// exactly when the sum over X of w_i = b*c_i - a*10^s is <= 0. The smallest
// weight sum over all candidates of a size is a dynamic programme over the
// last period of M, the periods of M still to place and the length of the
// current block: between two consecutive periods of M the best choice of the
// runs in between is independent of everything else (take an admissible run
// when its weight sum is negative).
//
// Conservative: with w_i = c_i and no groups the programme gives the cheapest
// valid main combination of each size; walking it forward and taking the
// smallest next period that can still reach the minimum yields the first
// cheapest in lexicographic order, which is what the exhaustive search keeps
// (ties never replace). Its extension that adds the most cheap periods is M
// with all its admissible groups: each group adds at least one period, so
// that choice alone has the largest count.
//
// Aggressive: the exhaustive search returns the first candidate, in the order
// (M lexicographic, then mask 0 = M alone, 1, 2, ...), whose computed average
// Q(X) = round(cost/|X|) is the smallest. Rounding to the nearest value at
// the largest scale that fits is monotone, so the smallest Q is Q(A), A the
// smallest exact average, which Dinkelbach's iteration finds with the weights
// above. The values x with Q(x) = Q(A) that are >= A form an interval up to
// U = Q(A) + half a unit in the last place of Q(A) held at its largest
// scale, U itself included when that last digit is even (ties to even). A
// second programme with the bound U then finds the first M in lexicographic
// order that has a candidate with average <= U, and, bit by bit from the top,
// the numerically smallest mask of its groups that does.
#include "engine/fast_search.h"

#include <algorithm>
#include <array>
#include <vector>

#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "engine/int128.h"

namespace tariffsieve {

namespace {

constexpr int max_n = 28;
constexpr int last_position_none = -1;

// A request reduced to small integers.
struct Rules {
    int n = 0;
    int min_block = 1;  // min_consecutive_periods
    int max_gap = 0;    // max_gap_between_periods, at most n
    int max_start = 0;  // max_gap_from_start, at most max_gap
    std::array<bool, max_n> cheap{};
};

// Prices as integers at one common scale.
struct IntegerPrices {
    std::uint32_t scale = 0;
    std::array<Int128, max_n> value{};
};

Int128 power_of_ten(std::uint32_t exponent) {
    Int128 result = Int128::from_int64(1);
    for (std::uint32_t i = 0; i < exponent; ++i) {
        result = *checked_mul(result, Int128::from_int64(10));  // 10^28 < 2^94
    }
    return result;
}

// Nothing when some sum could round or overflow (see the top of the file).
std::optional<IntegerPrices> integer_prices(std::span<const PricedPeriod> all_periods) {
    IntegerPrices prices;
    for (const PricedPeriod& period : all_periods) {
        if (!period.price.is_zero()) {
            prices.scale = std::max(prices.scale, period.price.scale());
        }
    }
    Int128 total_magnitude;
    for (std::size_t i = 0; i < all_periods.size(); ++i) {
        const Decimal& price = all_periods[i].price;
        if (price.is_zero()) {
            continue;
        }
        const std::optional<Int128> scaled =
            checked_mul(Int128::from_words(price.hi, price.mid_lo()), power_of_ten(prices.scale - price.scale()));
        if (!scaled || !fits_bits(*scaled, 95)) {
            return std::nullopt;
        }
        total_magnitude += *scaled;
        if (!fits_bits(total_magnitude, 95)) {
            return std::nullopt;
        }
        prices.value[i] = price.is_negative() ? -*scaled : *scaled;
    }
    return prices;
}

// A maximal run of cheap periods outside a main combination.
struct Group {
    int first = 0;
    int last = 0;
    bool admissible = false;
};

bool group_is_admissible(const Rules& rules, int first, int last, bool touches_main) {
    return touches_main || last - first + 1 >= rules.min_block || last == rules.n - 1;
}

// One step of a main combination: the next period and the block length after it.
struct Step {
    int position = 0;
    int block = 0;
};

// The periods that may follow `last` (none placed yet: last_position_none)
// under the gap and block rules, in increasing order.
int next_steps(const Rules& rules, int last, int block, std::array<Step, max_n>& steps) {
    int count = 0;
    if (last == last_position_none) {
        for (int j = 0; j <= std::min(rules.max_start, rules.n - 1); ++j) {
            steps[count++] = {j, 1};
        }
        return count;
    }
    if (last + 1 < rules.n) {
        steps[count++] = {last + 1, std::min(block + 1, rules.min_block)};
    }
    if (block >= rules.min_block) {
        for (int j = last + 2; j <= std::min(last + 1 + rules.max_gap, rules.n - 1); ++j) {
            steps[count++] = {j, 1};
        }
    }
    return count;
}

bool may_end(const Rules& rules, int last, int block) {
    return rules.n - 1 - last <= rules.max_gap && (block >= rules.min_block || last == rules.n - 1);
}

// The weights of one bound, and the best weight of the runs between two
// consecutive periods of a main combination.
struct Weights {
    std::array<Int128, max_n> of_period{};
    // between[(last + 1) * (max_n + 1) + next]: periods strictly between
    // `last` and `next` (next == n: after the last period of M).
    std::vector<Int128> between;
};

Weights make_weights(const Rules& rules, const std::array<Int128, max_n>& of_period, bool with_groups) {
    Weights weights{of_period, std::vector<Int128>((max_n + 1) * (max_n + 1))};
    if (!with_groups) {
        return weights;
    }
    const int n = rules.n;
    for (int last = last_position_none; last < n; ++last) {
        for (int next = last + 1; next <= n; ++next) {
            Int128 best;
            for (int p = last + 1; p < next;) {
                if (!rules.cheap[p]) {
                    ++p;
                    continue;
                }
                const int first = p;
                Int128 sum;
                while (p < next && rules.cheap[p]) {
                    sum += weights.of_period[p++];
                }
                const bool touches_main = (last != last_position_none && first == last + 1) || (next < n && p == next);
                if (sum.is_negative() && group_is_admissible(rules, first, p - 1, touches_main)) {
                    best += sum;
                }
            }
            weights.between[(last + 1) * (max_n + 1) + next] = best;
        }
    }
    return weights;
}

const Int128& between(const Weights& weights, int last, int next) {
    return weights.between[(last + 1) * (max_n + 1) + next];
}

// best(last, remaining, block): the smallest weight of the rest of a
// candidate, after its main combination's period `last`, with `remaining`
// periods of the main combination still to place.
struct SuffixTable {
    int max_remaining = 0;
    int block_states = 0;
    std::vector<Int128> best;
    std::vector<std::uint8_t> reachable;

    std::size_t at(int last, int remaining, int block) const {
        return (static_cast<std::size_t>(last + 1) * (max_remaining + 1) + remaining) * block_states + block;
    }
};

SuffixTable fill_suffix_table(const Rules& rules, const Weights& weights, int max_remaining) {
    SuffixTable table;
    table.max_remaining = max_remaining;
    table.block_states = rules.min_block + 1;
    const std::size_t size = table.at(rules.n - 1, max_remaining, rules.min_block) + 1;
    table.best.assign(size, Int128{});
    table.reachable.assign(size, 0);
    std::array<Step, max_n> steps;
    for (int last = rules.n - 1; last >= last_position_none; --last) {
        const int first_block = last == last_position_none ? 0 : 1;
        const int last_block = last == last_position_none ? 0 : rules.min_block;
        for (int remaining = 0; remaining <= max_remaining; ++remaining) {
            for (int block = first_block; block <= last_block; ++block) {
                const std::size_t here = table.at(last, remaining, block);
                if (remaining == 0) {
                    if (last != last_position_none && may_end(rules, last, block)) {
                        table.best[here] = between(weights, last, rules.n);
                        table.reachable[here] = 1;
                    }
                    continue;
                }
                const int count = next_steps(rules, last, block, steps);
                for (int s = 0; s < count; ++s) {
                    const std::size_t child = table.at(steps[s].position, remaining - 1, steps[s].block);
                    if (!table.reachable[child]) {
                        continue;
                    }
                    const Int128 value = weights.of_period[steps[s].position] +
                                         between(weights, last, steps[s].position) + table.best[child];
                    if (!table.reachable[here] || value < table.best[here]) {
                        table.best[here] = value;
                        table.reachable[here] = 1;
                    }
                }
            }
        }
    }
    return table;
}

bool size_is_feasible(const SuffixTable& table, int size) {
    return table.reachable[table.at(last_position_none, size, 0)];
}

const Int128& best_of_size(const SuffixTable& table, int size) {
    return table.best[table.at(last_position_none, size, 0)];
}

// The lexicographically first main combination of `size` whose best candidate
// weighs at most `bound` (less than `bound` when strict). One must exist.
std::vector<int> first_main_combination(const Rules& rules, const Weights& weights, const SuffixTable& table,
                                        int size, const Int128& bound, bool strict) {
    std::vector<int> main;
    std::array<Step, max_n> steps;
    int last = last_position_none;
    int block = 0;
    Int128 spent;
    for (int remaining = size; remaining > 0; --remaining) {
        const int count = next_steps(rules, last, block, steps);
        int s = 0;
        for (; s < count; ++s) {
            const std::size_t child = table.at(steps[s].position, remaining - 1, steps[s].block);
            if (!table.reachable[child]) {
                continue;
            }
            const Int128 total =
                spent + weights.of_period[steps[s].position] + between(weights, last, steps[s].position) + table.best[child];
            if (strict ? total < bound : total <= bound) {
                break;
            }
        }
        // The table promised a completion; not finding one is a broken invariant.
        if (s == count) {
            throw Abort("Fast search lost its way");
        }
        spent += weights.of_period[steps[s].position] + between(weights, last, steps[s].position);
        last = steps[s].position;
        block = steps[s].block;
        main.push_back(last);
    }
    return main;
}

// M's cheap groups in index order, admissible or not.
std::vector<Group> cheap_groups(const Rules& rules, const std::vector<int>& main) {
    std::array<bool, max_n> in_main{};
    for (int p : main) {
        in_main[p] = true;
    }
    std::vector<Group> groups;
    for (int p = 0; p < rules.n;) {
        if (!rules.cheap[p] || in_main[p]) {
            ++p;
            continue;
        }
        const int first = p;
        while (p < rules.n && rules.cheap[p] && !in_main[p]) {
            ++p;
        }
        const bool touches_main = (first > 0 && in_main[first - 1]) || (p < rules.n && in_main[p]);
        groups.push_back({first, p - 1, group_is_admissible(rules, first, p - 1, touches_main)});
    }
    return groups;
}

Int128 weight_of(const Weights& weights, const Group& group) {
    Int128 sum;
    for (int p = group.first; p <= group.last; ++p) {
        sum += weights.of_period[p];
    }
    return sum;
}

IndexList selection_of(const std::vector<int>& main, const std::vector<Group>& groups, const std::vector<bool>& chosen) {
    IndexList indices(main.begin(), main.end());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (chosen[g]) {
            for (int p = groups[g].first; p <= groups[g].last; ++p) {
                indices.push_back(static_cast<std::uint64_t>(p));
            }
        }
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

SelectionResult conservative(const Rules& rules, const IntegerPrices& prices, int min_size) {
    const Weights weights = make_weights(rules, prices.value, false);
    const SuffixTable table = fill_suffix_table(rules, weights, rules.n);
    int size = min_size;
    while (!size_is_feasible(table, size)) {
        ++size;  // size n always has the complete series
    }
    const std::vector<int> main = first_main_combination(rules, weights, table, size, best_of_size(table, size), false);
    const std::vector<Group> groups = cheap_groups(rules, main);
    std::vector<bool> chosen(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        chosen[g] = groups[g].admissible;
    }
    return SelectionResult::success(selection_of(main, groups, chosen));
}

// A selection's exact cost (at the common scale) and its number of periods.
struct Ratio {
    Int128 cost;
    std::int64_t count = 0;
};

// The candidate of `size` with the smallest weight, with its admissible
// groups of negative weight: the argument of Dinkelbach's step.
Ratio lightest_candidate(const Rules& rules, const IntegerPrices& prices, const Weights& weights,
                         const SuffixTable& table, int size) {
    const std::vector<int> main = first_main_combination(rules, weights, table, size, best_of_size(table, size), false);
    Ratio ratio;
    for (int p : main) {
        ratio.cost += prices.value[p];
        ++ratio.count;
    }
    for (const Group& group : cheap_groups(rules, main)) {
        if (group.admissible && weight_of(weights, group).is_negative()) {
            for (int p = group.first; p <= group.last; ++p) {
                ratio.cost += prices.value[p];
                ++ratio.count;
            }
        }
    }
    return ratio;
}

// Weights b*c_i - a for the bound a / b (in units of 10^-scale); nothing when
// a weight would leave the range in which 28 of them still add up safely.
std::optional<std::array<Int128, max_n>> weights_for_bound(const IntegerPrices& prices, int n, const Int128& a,
                                                           const Int128& b) {
    std::array<Int128, max_n> weights{};
    for (int i = 0; i < n; ++i) {
        const std::optional<Int128> scaled = checked_mul(prices.value[i], b);
        if (!scaled || !fits_bits(*scaled, 121)) {
            return std::nullopt;
        }
        weights[i] = *scaled - a;
        if (!fits_bits(weights[i], 121)) {
            return std::nullopt;
        }
    }
    return weights;
}

Decimal to_decimal(const Int128& value, std::uint32_t scale) {
    const Int128 m = magnitude(value);  // below 2^95
    return Decimal::from_parts(value.is_negative(), static_cast<std::uint32_t>(m.hi), m.lo, scale);
}

std::optional<SelectionResult> aggressive(const Rules& rules, const IntegerPrices& prices, int min_size) {
    const int n = rules.n;
    const Int128 one = Int128::from_int64(1);

    // The first size with a valid main combination is the size of the answer:
    // every average lies far below the largest decimal, so the first valid
    // candidate already replaces the empty best selection.
    Weights weights = make_weights(rules, prices.value, true);
    SuffixTable table = fill_suffix_table(rules, weights, n);
    int size = min_size;
    while (!size_is_feasible(table, size)) {
        ++size;
    }

    // Dinkelbach: move to a candidate of strictly smaller average until none is left.
    Ratio best = lightest_candidate(rules, prices, weights, table, size);
    for (int round = 0;; ++round) {
        if (round == 64) {
            return std::nullopt;  // never seen; the exhaustive search stays correct
        }
        const auto bound_weights = weights_for_bound(prices, n, best.cost, Int128::from_int64(best.count));
        if (!bound_weights) {
            return std::nullopt;
        }
        weights = make_weights(rules, *bound_weights, true);
        table = fill_suffix_table(rules, weights, size);
        if (!best_of_size(table, size).is_negative()) {
            break;
        }
        best = lightest_candidate(rules, prices, weights, table, size);
    }

    // The smallest computed average, with its last digit at the largest scale
    // that holds it.
    const Decimal smallest = divide(to_decimal(best.cost, prices.scale), Decimal::from_count(best.count));
    Int128 digits = Int128::from_words(smallest.hi, smallest.mid_lo());
    std::uint32_t digits_scale = smallest.scale();
    const Int128 limit = Int128::from_words(std::uint64_t{1} << 32, 0);  // 2^96
    while (digits_scale < Decimal::max_scale) {
        const Int128 tenfold = *checked_mul(digits, Int128::from_int64(10));
        if (tenfold >= limit) {
            break;
        }
        digits = tenfold;
        ++digits_scale;
    }
    // Just above a negative average, a value of smaller magnitude could fit one
    // more digit and round elsewhere; only a mantissa this close to 2^96 / 10
    // allows it. Leave such requests to the exhaustive search.
    const Int128 crowded = Int128::from_words(0x19999999u, 0x999999999999999Cu);  // ceil(2^96 / 10) + 2
    if (smallest.is_negative() && digits_scale < Decimal::max_scale && digits < crowded) {
        return std::nullopt;
    }
    if (smallest.is_negative()) {
        digits = -digits;
    }
    if (digits_scale < prices.scale) {
        return std::nullopt;  // cannot happen: the average fits at the prices' scale
    }
    // average <= U = (2q + 1) / (2 * 10^scale') with both sides over 10^scale,
    // scale <= scale' since the average of prices at that scale fits it.
    const Int128 upper_numerator = digits + digits + one;
    const std::optional<Int128> upper_denominator =
        checked_mul(Int128::from_int64(2), power_of_ten(digits_scale - prices.scale));
    const bool strict = digits.is_odd();  // a tie at U rounds away from Q
    const auto bound_weights = weights_for_bound(prices, n, upper_numerator, *upper_denominator);
    if (!bound_weights) {
        return std::nullopt;
    }
    weights = make_weights(rules, *bound_weights, true);
    table = fill_suffix_table(rules, weights, size);

    const Int128 zero;
    const std::vector<int> main = first_main_combination(rules, weights, table, size, zero, strict);
    const std::vector<Group> groups = cheap_groups(rules, main);

    // The numerically smallest mask that reaches the bound: decide the bits
    // from the top, leaving a bit clear whenever the lower bits can still
    // make up for it.
    Int128 spent;
    for (int p : main) {
        spent += weights.of_period[p];
    }
    std::vector<Int128> group_weight(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        group_weight[g] = weight_of(weights, groups[g]);
    }
    std::vector<bool> chosen(groups.size());
    for (std::size_t g = groups.size(); g-- > 0;) {
        Int128 reachable = spent;
        for (std::size_t lower = 0; lower < g; ++lower) {
            if (groups[lower].admissible && group_weight[lower].is_negative()) {
                reachable += group_weight[lower];
            }
        }
        if (strict ? reachable < zero : reachable <= zero) {
            continue;
        }
        chosen[g] = true;
        spent += group_weight[g];
    }
    return SelectionResult::success(selection_of(main, groups, chosen));
}

}  // namespace

std::optional<SelectionResult> fast_cheapest_periods(std::span<const PricedPeriod> all_periods,
                                                     std::span<const PricedPeriod> cheap_items,
                                                     std::uint64_t min_selections,
                                                     std::uint64_t min_consecutive_periods,
                                                     std::uint64_t max_gap_between_periods,
                                                     std::uint64_t max_gap_from_start, bool aggressive_strategy) {
    const std::uint64_t n = all_periods.size();
    if (n == 0 || n > static_cast<std::uint64_t>(max_n) || min_selections == 0 || min_selections > n ||
        min_consecutive_periods == 0 || min_consecutive_periods > min_selections) {
        return std::nullopt;
    }
    const std::optional<IntegerPrices> prices = integer_prices(all_periods);
    if (!prices) {
        return std::nullopt;
    }
    Rules rules;
    rules.n = static_cast<int>(n);
    rules.min_block = static_cast<int>(min_consecutive_periods);
    rules.max_gap = static_cast<int>(std::min(max_gap_between_periods, n));
    rules.max_start = static_cast<int>(std::min({max_gap_from_start, max_gap_between_periods, n}));
    for (const PricedPeriod& item : cheap_items) {
        rules.cheap[item.index] = true;
    }
    if (aggressive_strategy) {
        return aggressive(rules, *prices, static_cast<int>(min_selections));
    }
    return conservative(rules, *prices, static_cast<int>(min_selections));
}

}  // namespace tariffsieve
