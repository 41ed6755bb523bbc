// The literal search: rounded sums and averages computed as the exhaustive
// search computes them, for the candidates that exact bounds admit (see
// literal_search.h for the claims L1 to L6).
#include "engine/search/literal_search.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decimal/abort.h"
#include "engine/search/approximation.h"
#include "engine/search/completion_table.h"
#include "engine/search/group_choice.h"
#include "engine/search/main_walk.h"
#include "engine/search/scaled_prices.h"
#include "engine/search/smallest_average.h"
#include "engine/search/weight_width.h"
#include "engine/search/weights.h"

namespace tariffsieve::search {

namespace {

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
        find_cheap_groups(rules_, main, groups_);
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
        return SelectionResult::success(with_every_admissible(best_main, cheap_groups(rules, best_main)));
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
