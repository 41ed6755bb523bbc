// Answers when sums of prices could round: the sums and averages exactly as
// the exhaustive search computes them (rounding included), for just the
// candidates that exact bounds cannot rule out, visited in its own order.
//
// Why the answers are the exhaustive search's (the claims of exact_search.h
// carry over where cited):
//
// L1. No overflow. When the positive prices add up, and the negative ones
//     too, to well below 2^96 in magnitude, no sum the exhaustive search
//     forms can leave the decimal range, and every sum's rounding happens
//     at a scale of at least t, the largest scale that holds those bounds.
//     Prices of one sign whose total overflows make the exhaustive search
//     abort at once, on its first sum: so does this search. Otherwise the
//     search declines.
// L2. Rounded sums. A sum of N prices, formed from zero in ascending order,
//     differs from the exact sum by at most (N - 1)/2 units of 10^-t: each
//     addition rounds by at most half a unit in its result's last place.
// L3. Approximate integers. Every price times 10^w, truncated (w the
//     working scale, the finest at which these integers stay small), is
//     less than one unit away from the price; so a selection's integer sum
//     is less than N units away from its exact sum times 10^w.
// L4. Averages. A computed average above T + 10 units in T's last place (at
//     the finest scale that holds T) never rounds to T or below; so a
//     candidate whose computed average is at most T has integer weights
//     c_i - a adding up to at most zero, for a = ceil(T * 10^w) + ceil(10
//     * 10^(w - d)) + ceil(10^(w - t) / 2) + 1 (L2, L3). Costs likewise:
//     a cost at most T means an integer sum at most ceil(T * 10^w) +
//     ceil((N - 1)/2 * 10^(w - t)) + N.
// L5. Order. The exhaustive search returns the first candidate in its order
//     (main combinations lexicographically, masks numerically) whose
//     computed value is the smallest. A candidate known to compute above
//     that smallest value never decides the answer, so skipping it changes
//     nothing. Starting from a candidate that is optimal for the integer
//     weights (its computed value T0), the search walks the candidates that
//     L4 admits for the best value found so far, in the exhaustive order
//     (claims 5 and 6 with the walk's successor), computes their sums as the
//     exhaustive search does, and keeps the first one that reaches T0 and
//     then every strict improvement, tightening the bound as it goes.
// L6. Bounded work. Near-ties are usually few; when more candidates than a
//     fixed budget survive the bounds (many exact ties), the search declines.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "decimal/decimal.h"
#include "engine/search/series_rules.h"
#include "engine/selection_result.h"

namespace tariffsieve::search {

// How many candidates and main combinations the literal search visits
// before it declines, for n periods: a visit costs about n steps, so the
// budget is one of work, about 100 ms on a small machine at any length.
constexpr std::uint64_t literal_search_budget(std::uint64_t n) { return 2800000 / (n > 28 ? n : 28); }

// The exhaustive search's answer for a request that no trivial answer
// settles, at any length up to max_plan_periods, given the answer's size
// (claim 10); nothing when a sum could overflow (L1) or the near-ties exceed
// the budget (L6).
std::optional<SelectionResult> literal_search(std::span<const Decimal> prices, const SeriesRules& rules, int size,
                                              bool aggressive);

}  // namespace tariffsieve::search
