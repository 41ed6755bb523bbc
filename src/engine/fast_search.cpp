// The fast search. Why it gives the exhaustive searches' answers:
//
// Exact sums. Bring every price to the largest scale s among the non-zero
// prices; p_i is price i times 10^s, an integer. If the sum of all |p_i| is
// below 2^96 - 1, every partial sum of any subset, at any scale up to s, fits
// 96 bits, so every decimal addition the exhaustive search makes is exact and
// never overflows, and a selection's cost is exactly its integer sum over
// 10^s. It also keeps every average below the largest decimal, which the
// exhaustive search never takes as a first best (only a single price of
// exactly 2^96 - 1 could reach it). Otherwise we return nothing and the
// caller runs the exhaustive search.
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
// exactly when the sum over X of w_i = b*p_i - a*10^s is <= 0. The smallest
// weight sum over all candidates of a size is a dynamic programme over the
// last period of M, the periods of M still to place and the length of the
// current block: between two consecutive periods of M the best choice of the
// runs in between is independent of everything else (take an admissible run
// when its weight sum is negative).
//
// Conservative: with w_i = p_i and no groups the programme gives the cheapest
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
#include <limits>
#include <type_traits>
#include <vector>

#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "engine/int128.h"
#include "engine/search/integer_series.h"
#include "engine/request.h"

namespace tariffsieve {

namespace {

constexpr int max_n = static_cast<int>(max_exhaustive_periods);
constexpr int no_period = -1;  // "last" before the first period of M is placed

// The timing rules reduced to small integers, with the cheap periods; made
// from TimingRules in small_rules() only.
struct Rules {
    int n = 0;
    int min_block = 1;  // min_consecutive_periods
    int max_gap = 0;    // max_gap_between_periods, at most n
    int max_start = 0;  // max_gap_from_start, at most max_gap
    std::array<bool, max_n> cheap{};
};

// The entry has checked the request rules (and answered the requests that
// select every period); a request that breaks one cannot reach this point.
Rules small_rules(std::uint64_t n, const TimingRules& rules, std::span<const PricedPeriod> cheap_items) {
    if (broken_request_rule(n, rules, max_exhaustive_periods, "too many periods") != nullptr) {
        throw Abort("Fast search given a request the entry rejects");
    }
    Rules small;
    small.n = static_cast<int>(n);
    small.min_block = static_cast<int>(rules.min_consecutive_periods);
    small.max_gap = static_cast<int>(std::min(rules.max_gap_between_periods, n));
    small.max_start = static_cast<int>(std::min({rules.max_gap_from_start, rules.max_gap_between_periods, n}));
    for (const PricedPeriod& item : cheap_items) {
        small.cheap[item.index] = true;
    }
    return small;
}

// Prices as integers at one common scale; also in 64 bits when they are
// small enough that every weight of the averages' search fits there too.
struct IntegerPrices {
    std::uint32_t scale = 0;
    std::array<Int128, max_n> value{};
    bool small = false;  // the sum of every |value| is below 2^44
    std::array<std::int64_t, max_n> small_value{};
};

using search::mantissa_of;
using search::power_of_ten;
using search::to_decimal;

// Nothing when some sum could round or overflow (see the top of the file).
std::optional<IntegerPrices> integer_prices(std::span<const PricedPeriod> all_periods) {
    IntegerPrices prices;
    for (const PricedPeriod& period : all_periods) {
        if (!period.price.is_zero()) {
            prices.scale = std::max(prices.scale, period.price.scale());
        }
    }
    const Int128 largest_total = Int128::from_words(0xFFFFFFFFu, ~std::uint64_t{0});  // 2^96 - 1
    Int128 total_magnitude;
    for (std::size_t i = 0; i < all_periods.size(); ++i) {
        const Decimal& price = all_periods[i].price;
        if (price.is_zero()) {
            continue;
        }
        const Int128 mantissa = mantissa_of(price);
        const std::optional<Int128> scaled = price.scale() == prices.scale
                                                 ? std::optional<Int128>(mantissa)
                                                 : checked_mul(mantissa, power_of_ten(prices.scale - price.scale()));
        if (!scaled || !fits_bits(*scaled, 96)) {
            return std::nullopt;
        }
        total_magnitude += *scaled;
        if (!(total_magnitude < largest_total)) {
            return std::nullopt;
        }
        prices.value[i] = price.is_negative() ? -*scaled : *scaled;
    }
    prices.small = fits_bits(total_magnitude, 44);
    for (std::size_t i = 0; prices.small && i < all_periods.size(); ++i) {
        prices.small_value[i] = to_int64(prices.value[i]);
    }
    return prices;
}

bool group_is_admissible(const Rules& rules, int first, int last, bool touches_main) {
    return touches_main || last - first + 1 >= rules.min_block || last == rules.n - 1;
}

// One step of a main combination: the next period and the block length after it.
struct Step {
    int position = 0;
    int block = 0;
};

// The periods that may follow `last` under the gap and block rules, in
// increasing order.
int next_steps(const Rules& rules, int last, int block, std::array<Step, max_n>& steps) {
    int count = 0;
    if (last == no_period) {
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

// sizes[last + 1][block]: bit r is set when r more periods can complete a
// valid main combination after period `last` ended a block of `block`.
using Completions = std::array<std::array<std::uint32_t, max_n + 1>, max_n + 1>;

Completions completions(const Rules& rules) {
    const int n = rules.n;
    const int c = rules.min_block;
    Completions sizes;  // every cell read below is written first
    for (int last = n - 1; last >= no_period; --last) {
        // After a gap the block restarts: the same for every block that may jump.
        std::uint32_t jump = 0;
        const int from = last == no_period ? 0 : last + 2;
        const int to = std::min(last == no_period ? rules.max_start : last + 1 + rules.max_gap, n - 1);
        for (int j = from; j <= to; ++j) {
            jump |= sizes[j + 1][1];
        }
        jump <<= 1;
        if (last == no_period) {
            sizes[0][0] = jump;
            continue;
        }
        const bool may_end = n - 1 - last <= rules.max_gap;
        for (int block = 1; block <= c; ++block) {
            std::uint32_t mask = may_end && (block >= c || last == n - 1) ? 1u : 0u;
            if (last + 1 < n) {
                mask |= sizes[last + 2][std::min(block + 1, c)] << 1;
            }
            if (block >= c) {
                mask |= jump;
            }
            sizes[last + 1][block] = mask;
        }
    }
    return sizes;
}

// The size of the answer and the cells of the suffix tables that a valid
// main combination of that size can pass through; the tables fill only those.
struct Shape {
    int size = 0;
    // live[last + 1][block]: bit r is set when a valid main combination of
    // `size` can have placed `last` with a block of `block` and r periods to go.
    Completions live;  // filled for every cell the tables read
};

// The smallest size from min_size up with a valid main combination (size n
// always has one, the complete series), and its live cells.
Shape shape_of(const Rules& rules, int min_size) {
    const Completions ahead = completions(rules);
    Shape shape;
    shape.size = min_size;
    while (shape.size < rules.n && !((ahead[0][0] >> shape.size) & 1u)) {
        ++shape.size;
    }
    // to_go[last + 1][block]: bit r is set when a combination of `size` can
    // reach `last` with r periods still to place.
    const int n = rules.n;
    const int c = rules.min_block;
    Completions to_go;
    for (int row = 0; row <= n; ++row) {
        std::fill_n(to_go[row].begin(), c + 1, 0u);
    }
    to_go[0][0] = 1u << shape.size;
    for (int last = no_period; last < n; ++last) {
        std::uint32_t jumpers = 0;  // states that may go on after a gap
        for (int block = last == no_period ? 0 : 1; block <= (last == no_period ? 0 : c); ++block) {
            const std::uint32_t here = to_go[last + 1][block];
            shape.live[last + 1][block] = here & ahead[last + 1][block];
            if (last != no_period && last + 1 < n) {
                to_go[last + 2][std::min(block + 1, c)] |= here >> 1;
            }
            if (last == no_period || block >= c) {
                jumpers |= here;
            }
        }
        const int from = last == no_period ? 0 : last + 2;
        const int to = std::min(last == no_period ? rules.max_start : last + 1 + rules.max_gap, n - 1);
        for (int j = from; jumpers != 0 && j <= to; ++j) {
            to_go[j + 1][1] |= jumpers >> 1;
        }
    }
    return shape;
}

// Integer operations shared by the two widths the search runs in.
inline bool is_negative(std::int64_t v) { return v < 0; }
inline bool is_negative(const Int128& v) { return v.is_negative(); }

// The weights of one bound, and the best weight of the cheap runs between two
// consecutive periods of a main combination.
template <typename Int>
struct Weights {
    std::array<Int, max_n> of_period;
    // between[(last + 1) * (max_n + 1) + next]: the runs strictly between
    // `last` and `next` (next == n: after the last period of M); filled only
    // where the gap rule allows next to follow last.
    std::array<Int, (max_n + 1) * (max_n + 1)> between;

    const Int& runs_between(int last, int next) const { return between[(last + 1) * (max_n + 1) + next]; }
};

template <typename Int>
void make_weights(const Rules& rules, const std::array<Int, max_n>& of_period, bool with_groups, Weights<Int>& weights) {
    weights.of_period = of_period;
    const int n = rules.n;
    for (int last = no_period; last < n; ++last) {
        if (!with_groups) {
            const int reach = std::min(n, last + 1 + rules.max_gap);
            std::fill_n(&weights.between[(last + 1) * (max_n + 1) + last + 1], reach - last, Int{});
            continue;
        }
        // Sweep `next` upwards. Runs that ended before next - 1 are settled
        // (`closed`); the run ending at next - 1, if any, touches next.
        Int closed{};
        Int open{};  // weight of the run that ends at next - 1
        int open_first = -1;
        // Only gaps the rules allow are ever asked for; n stands for the end.
        const int reach = std::min(n, last + 1 + rules.max_gap);
        for (int next = last + 1; next <= reach; ++next) {
            const int p = next - 1;  // the position that just became interior
            if (p > last) {
                if (rules.cheap[p]) {
                    if (open_first < 0) {
                        open_first = p;
                        open = Int{};
                    }
                    open += weights.of_period[p];
                } else if (open_first >= 0) {
                    const bool touches = last != no_period && open_first == last + 1;
                    if (is_negative(open) && group_is_admissible(rules, open_first, p - 1, touches)) {
                        closed += open;
                    }
                    open_first = -1;
                }
            }
            Int best = closed;
            if (open_first >= 0) {
                const bool touches = (last != no_period && open_first == last + 1) || next < n;
                if (is_negative(open) && group_is_admissible(rules, open_first, p, touches)) {
                    best += open;
                }
            }
            weights.between[(last + 1) * (max_n + 1) + next] = best;
        }
    }
}

// Cells of the table that no completion reaches hold `unreachable`; any sum
// that includes one stays at or above `unreachable_floor`, since the weights
// along a candidate add up to less than that in magnitude.
template <typename Int>
struct Unreachable;
template <>
struct Unreachable<std::int64_t> {
    static constexpr std::int64_t value = std::int64_t{1} << 60;  // weights below 2^49
    static constexpr std::int64_t floor = std::int64_t{1} << 59;
};
template <>
struct Unreachable<Int128> {
    static constexpr Int128 value = Int128::from_words(std::uint64_t{1} << 61, 0);  // 2^125; weights below 2^119
    static constexpr Int128 floor = Int128::from_words(std::uint64_t{1} << 60, 0);
};

template <typename Int>
bool reachable(const Int& value) {
    return value < Unreachable<Int>::floor;
}

// best(last, remaining, block): the smallest weight of the rest of a
// candidate after its main combination's period `last`, with `remaining`
// periods of M still to place and a current block of `block` periods.
// Laid out so that the cells of consecutive `last` sit side by side.
template <typename Int>
struct SuffixTable {
    int size = 0;
    int block_states = 0;
    int positions = 0;  // n + 1: `last` from no_period to n - 1
    std::vector<Int> best;

    std::size_t at(int last, int remaining, int block) const {
        return (static_cast<std::size_t>(remaining) * block_states + block) * positions + (last + 1);
    }
};

template <typename Int>
void fill_suffix_table(const Rules& rules, const Weights<Int>& weights, const Shape& shape, SuffixTable<Int>& table) {
    const int n = rules.n;
    const int size = shape.size;
    const int c = rules.min_block;
    const Int unreachable = Unreachable<Int>::value;
    table.size = size;
    table.block_states = c + 1;
    table.positions = n + 1;
    table.best.assign(static_cast<std::size_t>(size + 1) * table.block_states * table.positions, unreachable);
    for (int last = n - 1; last >= no_period; --last) {
        const int first_block = last == no_period ? 0 : 1;
        const int last_block = last == no_period ? 0 : c;
        // More periods than are left after `last` can never be placed.
        std::uint32_t live_any = 0;
        for (int block = first_block; block <= last_block; ++block) {
            live_any |= shape.live[last + 1][block];
        }
        for (int remaining = 0; remaining <= std::min(size, n - 1 - last); ++remaining) {
            if (!((live_any >> remaining) & 1u)) {
                continue;
            }
            if (remaining == 0) {
                for (int block = first_block; block <= last_block; ++block) {
                    if (last != no_period && n - 1 - last <= rules.max_gap && (block >= c || last == n - 1)) {
                        table.best[table.at(last, 0, block)] = weights.runs_between(last, n);
                    }
                }
                continue;
            }
            // Next period after a gap: the block restarts, whatever it was.
            Int jump = unreachable;
            const int from = last == no_period ? 0 : last + 2;
            const int to = std::min(last == no_period ? rules.max_start : last + 1 + rules.max_gap, n - 1);
            const Int* restart = &table.best[table.at(no_period, remaining - 1, 1)];  // restart[j + 1]
            const Int* runs = &weights.between[(last + 1) * (max_n + 1)];
            for (int j = from; j <= to; ++j) {
                const Int value = weights.of_period[j] + runs[j] + restart[j + 1];
                if (value < jump) {
                    jump = value;
                }
            }
            for (int block = first_block; block <= last_block; ++block) {
                if (!((shape.live[last + 1][block] >> remaining) & 1u)) {
                    continue;
                }
                Int best = unreachable;
                if (last != no_period && last + 1 < n) {
                    best = weights.of_period[last + 1] + table.best[table.at(last + 1, remaining - 1, std::min(block + 1, c))];
                }
                if ((last == no_period || block >= c) && jump < best) {
                    best = jump;
                }
                table.best[table.at(last, remaining, block)] = reachable(best) ? best : unreachable;
            }
        }
    }
}

template <typename Int>
const Int& best_of_size(const SuffixTable<Int>& table) {
    return table.best[table.at(no_period, table.size, 0)];
}

// The lexicographically first main combination whose best candidate weighs
// at most `bound` (less than `bound` when strict). One must exist.
template <typename Int>
std::vector<int> first_main_combination(const Rules& rules, const Weights<Int>& weights, const SuffixTable<Int>& table,
                                        const Int& bound, bool strict) {
    std::vector<int> main;
    std::array<Step, max_n> steps;
    int last = no_period;
    int block = 0;
    Int spent{};
    for (int remaining = table.size; remaining > 0; --remaining) {
        const int count = next_steps(rules, last, block, steps);
        int s = 0;
        for (; s < count; ++s) {
            const std::size_t child = table.at(steps[s].position, remaining - 1, steps[s].block);
            if (!reachable(table.best[child])) {
                continue;
            }
            const Int total =
                spent + weights.of_period[steps[s].position] + weights.runs_between(last, steps[s].position) + table.best[child];
            if (strict ? total < bound : !(bound < total)) {
                break;
            }
        }
        // The table promised a completion; not finding one is a broken invariant.
        if (s == count) {
            throw Abort("Fast search lost its way");
        }
        spent += weights.of_period[steps[s].position] + weights.runs_between(last, steps[s].position);
        last = steps[s].position;
        block = steps[s].block;
        main.push_back(last);
    }
    return main;
}

// A maximal run of cheap periods outside a main combination.
struct Group {
    int first = 0;
    int last = 0;
    bool admissible = false;
};

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

template <typename Int>
Int weight_of(const Weights<Int>& weights, const Group& group) {
    Int sum{};
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

// M with the numerically smallest mask of its groups whose candidate weighs
// at most zero (less than zero when strict): the bits are decided from the
// top, a bit left clear whenever the lower bits can still make up for it.
template <typename Int>
IndexList first_reaching_mask(const Rules& rules, const Weights<Int>& weights, const std::vector<int>& main, bool strict) {
    const std::vector<Group> groups = cheap_groups(rules, main);
    Int spent{};
    for (int p : main) {
        spent += weights.of_period[p];
    }
    std::vector<Int> helps(groups.size());  // a group's weight where taking it can only help
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Int weight = weight_of(weights, groups[g]);
        helps[g] = groups[g].admissible && is_negative(weight) ? weight : Int{};
    }
    std::vector<bool> chosen(groups.size());
    const Int zero{};
    for (std::size_t g = groups.size(); g-- > 0;) {
        Int reachable = spent;
        for (std::size_t lower = 0; lower < g; ++lower) {
            reachable += helps[lower];
        }
        if (strict ? reachable < zero : !(zero < reachable)) {
            continue;
        }
        chosen[g] = true;
        spent += weight_of(weights, groups[g]);
    }
    return selection_of(main, groups, chosen);
}

// A selection's exact cost (at the common scale) and its number of periods.
struct Ratio {
    Int128 cost;
    std::int64_t count = 0;
};

// The candidate of the table's size with the smallest weight (M with its
// admissible groups of negative weight): Dinkelbach's next candidate.
template <typename Int>
Ratio lightest_candidate(const Rules& rules, const IntegerPrices& prices, const Weights<Int>& weights,
                         const SuffixTable<Int>& table) {
    const std::vector<int> main = first_main_combination(rules, weights, table, best_of_size(table), false);
    Ratio ratio;
    for (int p : main) {
        ratio.cost += prices.value[p];
        ++ratio.count;
    }
    for (const Group& group : cheap_groups(rules, main)) {
        if (group.admissible && is_negative(weight_of(weights, group))) {
            for (int p = group.first; p <= group.last; ++p) {
                ratio.cost += prices.value[p];
                ++ratio.count;
            }
        }
    }
    return ratio;
}

// Weights b*p_i - a for the bound a / b, in units of 10^-scale. Callers
// keep every weight below 2^119, so that 28 of them still add up safely; a
// weight outside that range is a broken invariant.
std::array<Int128, max_n> weights_for_bound(const IntegerPrices& prices, int n, const Int128& a, const Int128& b) {
    std::array<Int128, max_n> weights{};
    for (int i = 0; i < n; ++i) {
        const std::optional<Int128> scaled = checked_mul(prices.value[i], b);
        if (!scaled || !fits_bits(*scaled, 119) || !fits_bits(*scaled - a, 119)) {
            throw Abort("Fast search weight out of range");
        }
        weights[i] = *scaled - a;
    }
    return weights;
}

// The answers of one bound, in whichever width holds its weights.
template <typename Int>
struct BoundSearch {
    Weights<Int> weights;
    SuffixTable<Int> table;
};

template <typename Int>
void search_bound(const Rules& rules, const std::array<Int, max_n>& of_period, const Shape& shape, bool with_groups,
                  BoundSearch<Int>& search) {
    make_weights(rules, of_period, with_groups, search.weights);
    fill_suffix_table(rules, search.weights, shape, search.table);
}

SelectionResult conservative(const Rules& rules, const IntegerPrices& prices, int min_size) {
    const Shape shape = shape_of(rules, min_size);
    auto answer = [&](auto& search) {
        const auto& table = search.table;
        const std::vector<int> main = first_main_combination(rules, search.weights, table, best_of_size(table), false);
        const std::vector<Group> groups = cheap_groups(rules, main);
        std::vector<bool> chosen(groups.size());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            chosen[g] = groups[g].admissible;
        }
        return SelectionResult::success(selection_of(main, groups, chosen));
    };
    if (prices.small) {
        BoundSearch<std::int64_t> search;
        search_bound(rules, prices.small_value, shape, false, search);
        return answer(search);
    }
    BoundSearch<Int128> search;
    search_bound(rules, prices.value, shape, false, search);
    return answer(search);
}

// Dinkelbach's iteration: from the guess `best`, move to the candidate that
// minimises cost - average(best) * count until no candidate averages less.
//
// Why it ends. Every iterate after the first round is a real candidate that
// minimises cost - lambda * count for the previous average lambda, so it has
// the least cost of all candidates of its count, and each round that does not
// end lowers the average strictly. A later iterate of the same count would
// cost at least as much and so could not average less: the iterates have
// distinct counts, between the size of M and n. Hence at most
// n - size + 1 iterates, and one round each plus the guess's round. More
// rounds than that mean a broken invariant.
template <typename Int>
void settle_average(const Rules& rules, const IntegerPrices& prices, const Shape& shape, Ratio& best,
                    BoundSearch<Int>& search) {
    const int max_rounds = rules.n - shape.size + 2;
    for (int round = 0; round < max_rounds; ++round) {
        std::array<Int, max_n> of_period{};
        if constexpr (std::is_same_v<Int, std::int64_t>) {
            // |count * p_i - cost| < 28 * 2^44 + 2^44 < 2^49: sums of 28 fit easily
            const std::int64_t cost = to_int64(best.cost);
            for (int i = 0; i < rules.n; ++i) {
                of_period[i] = best.count * prices.small_value[i] - cost;
            }
        } else {
            // |count * p_i| < 28 * 2^96 and |cost| < 2^96
            of_period = weights_for_bound(prices, rules.n, best.cost, Int128::from_int64(best.count));
        }
        search_bound(rules, of_period, shape, true, search);
        // Zero: some candidate averages exactly best and none less. Otherwise
        // move to the lightest candidate: below best when the weight is
        // negative, and when positive (best was only a guess, below every
        // candidate) the candidate that the next round improves on.
        if (best_of_size(search.table) == Int{}) {
            return;
        }
        best = lightest_candidate(rules, prices, search.weights, search.table);
    }
    throw Abort("Dinkelbach's iteration did not settle within its bound");
}

std::optional<SelectionResult> aggressive(const Rules& rules, const IntegerPrices& prices, int min_size) {
    // The first size with a valid main combination is the size of the answer:
    // every average lies below the largest decimal, so the first valid
    // candidate already replaces the empty best selection.
    const Shape shape = shape_of(rules, min_size);
    const int size = shape.size;

    // Settle the smallest average A, starting from the average of the `size`
    // cheapest prices: usually just below A, so that the first candidate the
    // weights point to is already the best or close to it.
    std::array<Int128, max_n> sorted = prices.value;
    std::sort(sorted.begin(), sorted.begin() + rules.n);
    Ratio best{Int128{}, size};
    for (int i = 0; i < size; ++i) {
        best.cost += sorted[i];
    }
    // In 64 bits when every weight fits there (prices.small), else in 128.
    const bool is_narrow = prices.small;
    BoundSearch<std::int64_t> narrow_search;
    std::optional<BoundSearch<Int128>> wide;
    if (is_narrow) {
        settle_average(rules, prices, shape, best, narrow_search);
    } else {
        settle_average(rules, prices, shape, best, wide.emplace());
    }

    // Q = the computed average of A, with its last digit at the largest scale that holds it.
    const Decimal smallest = divide(to_decimal(best.cost, prices.scale), Decimal::from_count(best.count));
    Int128 digits = mantissa_of(smallest);
    std::uint32_t digits_scale = smallest.scale();
    const Int128 limit = Int128::from_words(std::uint64_t{1} << 32, 0);  // 2^96
    while (digits_scale < Decimal::max_scale) {
        const Int128 tenfold = product_in_range(digits, Int128::from_int64(10));  // digits < 2^96
        if (tenfold >= limit) {
            break;
        }
        digits = tenfold;
        ++digits_scale;
    }
    // The average of integers at the prices' scale is below 2^96 there, so
    // it keeps at least that scale.
    if (digits_scale < prices.scale) {
        throw Abort("Fast search average below the prices' scale");
    }

    // Two different averages of at most 28 periods differ by at least
    // 1 / (28 * 28 * 10^scale). When a unit in Q's last place is smaller than
    // that, the only averages that round to Q are those equal to A, and the
    // settled weights already find them.
    if (digits_scale >= prices.scale + 3) {
        if (is_narrow) {
            const auto& table = narrow_search.table;
            const std::vector<int> main = first_main_combination(rules, narrow_search.weights, table, std::int64_t{0}, false);
            return SelectionResult::success(first_reaching_mask(rules, narrow_search.weights, main, false));
        }
        const std::vector<int> main = first_main_combination(rules, wide->weights, wide->table, Int128{}, false);
        return SelectionResult::success(first_reaching_mask(rules, wide->weights, main, false));
    }

    // Otherwise take every average up to U = Q + half a unit in Q's last place.
    // Just above a negative Q, a value of smaller magnitude could fit one more
    // digit and round elsewhere; only a mantissa this close to 2^96 / 10
    // allows it. Leave such requests to the exhaustive search.
    const Int128 crowded = Int128::from_words(0x19999999u, 0x999999999999999Cu);  // ceil(2^96 / 10) + 2
    if (smallest.is_negative() && digits_scale < Decimal::max_scale && digits < crowded) {
        return std::nullopt;
    }
    if (smallest.is_negative()) {
        digits = -digits;
    }
    // average <= U = (2q + 1) / (2 * 10^scale') with both sides over 10^scale.
    const Int128 upper_numerator = digits + digits + Int128::from_int64(1);
    // digits_scale - prices.scale is 0, 1 or 2 here: the weights stay below 2^105.
    const Int128 upper_denominator = product_in_range(Int128::from_int64(2), power_of_ten(digits_scale - prices.scale));
    const bool strict = digits.is_odd();  // a tie at U rounds away from Q
    BoundSearch<Int128> upper;
    search_bound(rules, weights_for_bound(prices, rules.n, upper_numerator, upper_denominator), shape, true, upper);
    const std::vector<int> main = first_main_combination(rules, upper.weights, upper.table, Int128{}, strict);
    return SelectionResult::success(first_reaching_mask(rules, upper.weights, main, strict));
}

}  // namespace

std::optional<SelectionResult> fast_cheapest_periods(std::span<const PricedPeriod> all_periods,
                                                     std::span<const PricedPeriod> cheap_items,
                                                     const TimingRules& timing_rules, bool aggressive_strategy) {
    const Rules rules = small_rules(all_periods.size(), timing_rules, cheap_items);
    const std::optional<IntegerPrices> prices = integer_prices(all_periods);
    if (!prices) {
        return std::nullopt;
    }
    if (aggressive_strategy) {
        return aggressive(rules, *prices, static_cast<int>(timing_rules.min_selections));
    }
    return conservative(rules, *prices, static_cast<int>(timing_rules.min_selections));
}

}  // namespace tariffsieve
