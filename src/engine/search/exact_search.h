// The exact search: the answers of the exhaustive searches, for series of
// any length, in time polynomial in the length.
//
// Why its answers are the exhaustive searches' answers, claim by claim (the
// code cites them):
//
// 1. Exact sums. Bring every price to the largest scale s among the non-zero
//    prices: c_i = price_i * 10^s, an integer. When the sum of every |c_i| is
//    below 2^96 - 1, every partial sum of any selection fits 96 bits at scale
//    s, so every decimal addition the exhaustive search makes is exact and
//    none overflows, and a selection's cost is its integer sum over 10^s.
//    Every average then lies below the largest decimal, so the first valid
//    candidate always replaces the empty best selection. Otherwise the
//    literal search takes the request.
// 2. Candidates. A main combination M is valid when its first period is at
//    most max_gap_from_start, no gap (also the one after it) exceeds
//    max_gap_between_periods, and each block holds at least c =
//    min_consecutive_periods periods, but for a final block that reaches the
//    last period. Reading M from left to right, a block that starts at q is
//    then forced to take q .. q + c - 1 (or q .. n - 1 when the series ends
//    first); after that the block may grow or be left by a gap. M's cheap
//    groups are the maximal runs of cheap periods outside M; adding groups
//    never breaks a gap rule, and a group keeps every block long enough
//    exactly when it touches M, holds at least c periods, or ends at the
//    last period ("admissible"). Groups never touch each other, so the
//    candidates of a size are the pairs (valid M, any set of admissible groups).
// 3. Weights and the table. For a bound a/b (b > 0), a candidate X has
//    cost(X)/|X| <= a/b exactly when the sum over X of w_i = b*c_i - a is
//    <= 0. The smallest weight of a candidate built on M is the weight of M
//    plus, for each gap of M, the admissible runs in it of negative weight.
//    For a period p of M whose block is already long enough, with r periods
//    of M after it, the smallest weight of the rest is a function of (p, r)
//    alone: the next period is p + 1 (same block) or some q after a gap of
//    at most max_gap_between_periods (claim 2's forced block), or, with r = 0,
//    the end. M having k periods, p is its (k - r)-th, so k - 1 - r <= p <=
//    n - 1 - r: each layer r holds n - k + 1 cells.
// 4. Gap weights in constant time. In a gap (p, q) that holds a plain (not
//    cheap) period, let a be the first and b the last plain period in it.
//    The runs in it are the run p + 1 .. a - 1 (it touches p; before the
//    first period of M it is admissible only when long enough), the whole
//    runs of the series between a and b (admissible when long enough), and
//    the run b + 1 .. q - 1 (it touches q, or ends at the last period). So
//    the gap's weight is left(p) - runs_before(a) + runs_before(b) + right(q),
//    a sum of a term in p and a term in q; a gap that is all cheap is one
//    run, always admissible, of weight min(0, prefix(q) - prefix(p + 1)).
//    The best jump from p is then the minimum of a term in q over a window of
//    q whose ends only move down as p does: a sliding-window minimum (a
//    running one while the high end stays put), so a layer costs O(n) and
//    the table O(k * (n - k)).
// 5. The first main combination. Walking from the start and taking, at each
//    step, the smallest next period from which the table still reaches the
//    bound, yields the lexicographically first M with a candidate of weight
//    at most the bound: all M have k periods, and forced blocks are forced
//    for every M that enters them.
// 6. The first mask. Among M's groups, the numerically smallest mask whose
//    candidate weighs at most the bound: decide bits from the highest group
//    down, leaving a bit clear whenever the lower groups alone (each taken
//    when admissible and negative) can still reach the bound.
// 7. Conservative. With w_i = c_i and no groups the table gives the cheapest
//    valid M of the size, and claim 5 with that minimum as bound the first
//    one in lexicographic order, which the exhaustive search keeps (a tie
//    never replaces). Every admissible group adds a cheap period, so M with
//    all its admissible groups holds the most cheap periods, and it is the
//    only choice that does.
// 8. Aggressive. The exhaustive search returns the first candidate, in the
//    order (M lexicographic; mask 0 = M alone, 1, 2, ...), whose computed
//    average Q(X) = cost/|X| rounded is the smallest. Rounding is monotone,
//    so the smallest is Q(A), A the smallest exact average (claim 9), and
//    the candidates with Q(X) = Q(A) are those with A <= X <= U for a bound
//    U: with Q(A) = q * 10^-d at the largest scale d that holds it, U = Q(A)
//    + half a unit in the last place, included when q is even (ties to
//    even). Just above a negative Q(A) whose q is 7922816251426433759354395034
//    at d < 28, a smaller magnitude fits one more digit and rounds elsewhere:
//    there U = -(2^96 - 1/2) * 10^-(d+1), included. Two different averages
//    of at most n periods differ by at least 1/(n^2 * 10^s); when a unit in
//    the last place of Q(A) is smaller, only averages equal to A round to
//    Q(A), and A's own weights serve as the bound.
// 9. Dinkelbach's iteration finds A: from a guess, move to the lightest
//    candidate under the current average, or to any candidate whose average
//    is no larger than the lightest's, until the lightest weighs zero, which
//    happens exactly when the current average is A. Each lightest candidate
//    minimises cost - average * count, so it has the least cost of all
//    candidates of its count; after the first round the average is a real
//    candidate's, at least A, and falls strictly from round to round, so no
//    two lightest candidates share a count. Counts run from the size k to n:
//    the iteration ends within n - k + 2 rounds. The guess: when the k
//    cheapest prices make a valid M, their average, which no candidate
//    undercuts (a candidate holds k periods or more), so it is A; on a short
//    series their average all the same, a lower bound: the first lightest
//    candidate then weighs more than zero unless the bound is A, and the
//    iteration goes on from its real average; else a real candidate. Within
//    a round, M kept, the choice of M's admissible groups with the smallest
//    average takes a group exactly when its own average lies below the
//    candidate's (Dinkelbach's iteration on the groups alone; any choice is
//    a candidate, claim 2).
// 10. Sizes. A valid M that is not the whole series grows by a period next
//    to one of its blocks and stays valid, so the sizes with a valid M are
//    every size from the smallest one to n; the answer's size is the larger
//    of min_selections and that smallest size.
// 11. Live columns. In state (p, r) the k - r periods up to p lie in at most
//    B = floor((k - r) / c) blocks, the first starting at most
//    max_gap_from_start in, with B - 1 gaps of at most max_gap_between_periods
//    between them: p - (k - 1 - r) <= max_gap_from_start + (B - 1) *
//    max_gap_between_periods. The r periods after p lie in at most
//    floor(r / c) + 1 stretches (a short block that ends the series counts),
//    each after a gap, then the gap to the end: at most floor(r / c) + 1
//    gaps, so p - (k - 1 - r) >= n - k - (floor(r / c) + 1) *
//    max_gap_between_periods, or no completion exists and the cell is
//    unreachable anyway. A walk starts at the start row and reads only the
//    cells of states it can be in, and a cell reads only cells of states
//    that follow its own, so cells past the first bound may hold
//    `unreachable` too: the start and every walk see the same values.
#pragma once

#include "engine/search/scaled_prices.h"
#include "engine/search/series_rules.h"
#include "engine/selection_result.h"

namespace tariffsieve::search {

// The answer of the exhaustive search for a request that no trivial answer
// settles (min_selections below n, some period not cheap), at any length up
// to max_plan_periods, with exact prices (claim 1) and the answer's size
// (claim 10).
SelectionResult exact_search(const SeriesRules& rules, const ScaledPrices& prices, int size, bool aggressive);

}  // namespace tariffsieve::search
