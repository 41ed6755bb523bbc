"""plan on long series, from 92 periods to the longest it takes (2016): answers
that keep the rules, checked against the reference's validity test and an
exact dynamic programme of the cheapest valid selection."""
import random
from collections import UserList
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

import tariffsieve
from reference import random_rules, valid

cheapest = tariffsieve.get_cheapest_periods
plan = tariffsieve.plan
LONG = [92, 96, 100, 192, 576, 1152]


# --- independent oracles -------------------------------------------------------

INF = 2 ** 62


class WindowMin:
    """Element-wise minimum of the vectors in a sliding window: a queue made of
    two stacks; each front entry carries the minimum of itself and the newer
    front entries, so every vector is pushed and moved once."""

    def __init__(self, width):
        self.back, self.front = [], []
        self.back_min = np.full(width, INF, dtype=np.int64)

    def push(self, index, vector):
        self.back.append((index, vector))
        self.back_min = np.minimum(self.back_min, vector)

    def drop_before(self, index):
        while self.front and self.front[-1][0] < index:
            self.front.pop()
        if not self.front and self.back and self.back[0][0] < index:
            running = np.full_like(self.back_min, INF)
            for i, vector in reversed(self.back):
                running = np.minimum(running, vector)
                self.front.append((i, running))
            self.back = []
            self.back_min = np.full_like(self.back_min, INF)
            while self.front and self.front[-1][0] < index:
                self.front.pop()

    def minimum(self):
        return np.minimum(self.front[-1][1], self.back_min) if self.front else self.back_min


def cheapest_valid(prices, min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start):
    """(size, cost) of the cheapest valid selection of the smallest feasible
    size from min_selections up, by a dynamic programme over (period, count).

    A[t][j]: least cost of j periods up to t, t selected in a block already
    min_consecutive_periods long. H[t][j]: least cost of j periods before t
    when a block starts at t (after a gap of 1 to max_gap_between_periods, or
    first, at most max_gap_from_start in). A block's first
    min_consecutive_periods periods are taken at once; a last block that runs
    to the end may be shorter."""
    n, c, gap, start = len(prices), min_consecutive_periods, max_gap_between_periods, max_gap_from_start
    decimals = max(-Decimal(p).as_tuple().exponent for p in prices)
    units = [int(Decimal(p).scaleb(decimals)) for p in prices]
    prefix = [0]
    for u in units:
        prefix.append(prefix[-1] + u)
    assert max(abs(v) for v in prefix) * 4 < INF
    width = n + 1
    window, a_rows, h_rows = WindowMin(width), [], []
    best = np.full(width, INF, dtype=np.int64)
    for t in range(n):
        if t >= 2:
            window.push(t - 2, a_rows[t - 2])
        window.drop_before(t - gap - 1)
        h = window.minimum().copy() if gap >= 1 else np.full(width, INF, dtype=np.int64)
        if t <= min(start, gap):
            h[0] = 0
        h_rows.append(h)
        a = np.full(width, INF, dtype=np.int64)
        if t >= 1:
            previous = a_rows[t - 1]
            a[1:] = np.where(previous[:-1] < INF, previous[:-1] + units[t], INF)
        if t - c + 1 >= 0:
            opened = h_rows[t - c + 1]
            a[c:] = np.minimum(a[c:], np.where(opened[:-c] < INF, opened[:-c] + prefix[t + 1] - prefix[t - c + 1], INF))
        a_rows.append(a)
        if n - 1 - t <= gap:
            best = np.minimum(best, a)
    for first in range(max(0, n - c + 1), n):  # a short last block from first to the end
        length, opened = n - first, h_rows[first]
        best[length:] = np.minimum(best[length:], np.where(opened[:-length] < INF,
                                                              opened[:-length] + prefix[n] - prefix[first], INF))
    for size in range(min_selections, n + 1):
        if best[size] < INF:
            return size, Decimal(int(best[size])).scaleb(-decimals)
    raise AssertionError("no valid selection, not even every period")


def cost(prices, selected):
    return sum(Decimal(prices[i]) for i in selected)


def average(prices, selected):
    return Fraction(cost(prices, selected)) / len(selected)


# --- the oracles against the exhaustive search -----------------------------------

def test_the_dynamic_programme_agrees_with_the_exhaustive_search():
    rng = random.Random(12)
    for _ in range(1500):
        n = rng.randint(1, 20)
        prices = [f"{rng.randint(-300, 1000) / 1000:.3f}" for _ in range(n)]
        rules = random_rules(rng, n)
        answer = cheapest(prices, "-2", *rules, aggressive=False)
        assert cheapest_valid(prices, *rules) == (len(answer), cost(prices, answer)), (prices, rules)


# --- plan at long lengths ------------------------------------------------------------

def shaped_series(rng, n, per_day, decimals=5):
    """A made-up daily shape (cheap night and midday, peaks morning and
    evening, negative around noon) with noise and ties."""
    import math
    prices = []
    for i in range(n):
        hour = 24 * (i % per_day) / per_day
        value = (0.09 + 0.05 * math.exp(-((hour - 8) / 1.5) ** 2) + 0.1 * math.exp(-((hour - 19) / 1.8) ** 2)
                 - 0.12 * math.exp(-((hour - 13) / 2.2) ** 2) + rng.gauss(0, 0.01))
        prices.append(f"{round(value, rng.choice([2, decimals])):.{decimals}f}")
    return prices


def series(rng, n, kind):
    per_day = 288 if n > 192 else 96
    if kind == "shaped":
        return shaped_series(rng, n, per_day)
    if kind == "few levels":  # many ties
        return [rng.choice(["0.1", "0.2", "0.25", "-0.05"]) for _ in range(n)]
    if kind == "negative":
        return [f"{rng.randint(-9000, -1) / 10000:.4f}" for _ in range(n)]
    return ["0.1234"] * n  # all equal


def hours(n, count):
    """count hours in periods of the series' resolution."""
    return count * (12 if n > 192 else 4)


def rule_sets(n):
    """(min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start)."""
    day = 288 if n > 192 else 96
    return [
        (max(hours(n, 4) * n // day, 1), hours(n, 1), hours(n, 8), hours(n, 8)),  # 4 hours a day
        (hours(n, 3), hours(n, 3), n, n),  # one 3-hour block anywhere
        (n // 4, 2, 6, 3),  # a quarter in short blocks, short gaps
        (n // 2, hours(n, 2), n, n),  # half in 2-hour blocks
        (1, 1, n, n),
        (n - 1, 1, 1, 1),
        (n - 1, n - 1, n, 0),
        (3, 2, 0, 0),  # no gaps: every period
    ]


def long_cases():
    cases = []
    rng = random.Random(92)
    for n in LONG:
        for kind in ["shaped", "shaped", "few levels", "negative", "equal"]:
            prices = series(rng, n, kind)
            for rules in rule_sets(n):
                cases.append(pytest.param(prices, rules, id=f"{n}-{kind}-{rules}"))
    return cases


@pytest.mark.parametrize("prices, rules", long_cases())
def test_long_series_keep_the_rules(prices, rules):
    n = len(prices)
    ordered = sorted(prices, key=Decimal)
    size, least = cheapest_valid(prices, *rules)
    for threshold in (ordered[0], ordered[n // 5], ordered[n // 2]):
        answers = {aggressive: plan(prices, threshold, *rules, aggressive=aggressive) for aggressive in (True, False)}
        for answer in answers.values():
            assert valid(answer, n, *rules[1:]) and len(answer) >= rules[0]
        assert average(prices, answers[True]) <= average(prices, answers[False])
        if all(Decimal(p) <= Decimal(threshold) for p in prices):
            assert answers[True] == answers[False] == list(range(n))
    # Nothing cheap: both strategies take the cheapest valid selection of the smallest size.
    for aggressive in (True, False):
        answer = plan(prices, str(Decimal(ordered[0]) - 1), *rules, aggressive=aggressive)
        assert (len(answer), cost(prices, answer)) == (size, least)


def test_every_period_when_every_price_is_cheap_or_all_are_needed():
    prices = ["0.1234"] * 100
    assert plan(prices, "0.1234", 3, 2, 10, 5) == list(range(100))
    assert plan(prices, "0", 100, 7, 0, 0, aggressive=False) == list(range(100))
    assert plan(prices, "0", 3, 2, 0, 0) == list(range(100))


def test_the_longest_series_is_answered_and_one_period_more_refused():
    prices = shaped_series(random.Random(2016), 2016, 288)
    rules = rule_sets(2016)[0]
    size, least = cheapest_valid(prices, *rules)
    nothing_cheap = str(min(map(Decimal, prices)) - 1)
    for aggressive in (True, False):
        answer = plan(tuple(prices), "0.05", *rules, aggressive=aggressive)
        assert valid(answer, 2016, *rules[1:]) and len(answer) >= rules[0]
        answer = plan(prices, nothing_cheap, *rules, aggressive=aggressive)
        assert (len(answer), cost(prices, answer)) == (size, least)
    for longer in (prices + ["0.1"], tuple(prices) + (0.1,), UserList(prices + ["0.1"])):
        with pytest.raises(ValueError, match="^prices cannot contain more than 2016 items$"):
            plan(longer, "0.05", *rules)
