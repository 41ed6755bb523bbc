"""plan at every length: the same answers and messages as get_cheapest_periods
up to 28 periods, and from 92 to 1152 periods answers that obey the rules,
checked against an independent validity test and an exact dynamic programme."""
import random
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

import tariffsieve

cheapest = tariffsieve.get_cheapest_periods
plan = getattr(tariffsieve, "plan", None)
needs_plan = pytest.mark.skipif(plan is None, reason="this build of tariffsieve has no plan yet")
LONG = [92, 96, 100, 192, 576, 1152]


# --- independent oracles -------------------------------------------------------

def runs(selected):
    """The blocks of an ascending index list, as (first, last) pairs."""
    out = []
    for i in selected:
        if out and out[-1][1] == i - 1:
            out[-1][1] = i
        else:
            out.append([i, i])
    return out


def obeys(selected, n, min_consecutive_periods, max_gap_between_periods, max_gap_from_start):
    """Whether a selection keeps the timing rules: something selected, at most
    max_gap_from_start idle before it, at most max_gap_between_periods idle
    between blocks and after the last, and every block at least
    min_consecutive_periods long except a last one that reaches the end."""
    if not selected or selected != sorted(set(selected)) or selected[0] < 0 or selected[-1] >= n:
        return False
    blocks = runs(selected)
    gaps = [b[0] - a[1] - 1 for a, b in zip(blocks, blocks[1:])] + [n - 1 - blocks[-1][1]]
    short = [b for b in blocks if b[1] - b[0] + 1 < min_consecutive_periods and b[1] != n - 1]
    return (blocks[0][0] <= min(max_gap_from_start, max_gap_between_periods)
            and max(gaps) <= max_gap_between_periods and not short)


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

def small_rules(rng, n):
    min_selections = rng.randint(1, n)
    c = rng.randint(1, min_selections)
    gap = rng.randint(0, n)
    return min_selections, c, gap, rng.randint(0, gap)


def test_the_validity_check_agrees_with_the_exhaustive_search():
    # Priced 0 among periods priced 100, a selection is the answer exactly when it is valid.
    rng = random.Random(11)
    for _ in range(3000):
        n = rng.randint(1, 14)
        selected = sorted(rng.sample(range(n), rng.randint(1, n)))
        c = rng.randint(1, len(selected))
        gap = rng.randint(0, n)
        start = rng.randint(0, gap)
        prices = ["0" if i in selected else "100" for i in range(n)]
        answer = cheapest(prices, "-1", len(selected), c, gap, start, aggressive=False)
        assert obeys(answer, n, c, gap, start)
        assert (answer == selected) == obeys(selected, n, c, gap, start), (n, selected, c, gap, start)


def test_the_dynamic_programme_agrees_with_the_exhaustive_search():
    rng = random.Random(12)
    for _ in range(1500):
        n = rng.randint(1, 20)
        prices = [f"{rng.randint(-300, 1000) / 1000:.3f}" for _ in range(n)]
        rules = small_rules(rng, n)
        answer = cheapest(prices, "-2", *rules, aggressive=False)
        assert cheapest_valid(prices, *rules) == (len(answer), cost(prices, answer)), (prices, rules)


# --- plan against get_cheapest_periods, up to 28 periods ---------------------------

HUGE = "79228162514264337593543950335"


def price_text(rng, decimals):
    if decimals == 28:
        return f"{rng.choice('-+ ').strip()}0.{rng.randrange(10 ** 28):028d}"
    value = rng.choice([rng.randint(-50, 400), rng.randint(-5, 5), rng.randint(0, 3)])
    return str(Decimal(value).scaleb(-decimals))


def random_request(rng):
    """Mostly well-formed requests over short series, some broken in one way."""
    n = min(1 + int(rng.expovariate(1 / 7)), 28)
    decimals = rng.choice([0, 1, 2, 3, 4, 4])
    if n <= 8 and rng.random() < 0.05:
        decimals = 28  # the exact sums may round: the exhaustive search answers
    prices = [price_text(rng, decimals) for _ in range(n)]
    threshold = rng.choice(prices + [price_text(rng, min(decimals, 4)), "-1000", "1000"])
    min_selections, c, gap, start = small_rules(rng, n)
    flaw = rng.random()
    if flaw < 0.01:
        prices = []
    elif flaw < 0.02:
        prices[rng.randrange(n)] = rng.choice(["abc", "1e3", " 1", "", "1.2.3", "--1", "_1", "NaN"])
    elif flaw < 0.03:
        threshold = rng.choice(["x", "1e-3", "", "Infinity"])
    elif flaw < 0.04:
        min_selections = rng.choice([0, n + 1])
    elif flaw < 0.05:
        c = rng.choice([0, min_selections + 1])
    elif flaw < 0.06 and gap > 0:
        start = gap + 1
    elif flaw < 0.07 and n <= 6:
        prices[rng.randrange(n)] = rng.choice([HUGE, "-" + HUGE])
        prices[rng.randrange(n)] = HUGE  # sums of all periods leave the decimal range
    return prices, threshold, min_selections, c, gap, start, rng.random() < 0.5


def outcome(function, request):
    try:
        return "answer", function(*request)
    except ValueError as error:
        return "error", str(error)
    except BaseException as error:  # PanicException derives from BaseException
        if type(error).__name__ != "PanicException":
            raise
        return "error", str(error)


@needs_plan
@pytest.mark.parametrize("seed", range(10))
def test_plan_answers_as_get_cheapest_periods_up_to_28_periods(seed, capfd):
    rng = random.Random(seed)
    kinds = set()
    for _ in range(10_000):
        request = random_request(rng)
        expected, got = outcome(cheapest, request), outcome(plan, request)
        kinds.add(expected[0])
        assert got[0] == expected[0] and got[1][:len(str(expected[1]))] == expected[1], (request, expected, got)
    capfd.readouterr()  # the aborts' lines on standard error
    assert kinds == {"answer", "error"}


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


@needs_plan
@pytest.mark.parametrize("prices, rules", long_cases())
def test_long_series_keep_the_rules(prices, rules):
    n = len(prices)
    ordered = sorted(prices, key=Decimal)
    size, least = cheapest_valid(prices, *rules)
    for threshold in (ordered[0], ordered[n // 5], ordered[n // 2]):
        answers = {aggressive: plan(prices, threshold, *rules, aggressive=aggressive) for aggressive in (True, False)}
        for answer in answers.values():
            assert obeys(answer, n, *rules[1:]) and len(answer) >= rules[0]
        assert average(prices, answers[True]) <= average(prices, answers[False])
        if all(Decimal(p) <= Decimal(threshold) for p in prices):
            assert answers[True] == answers[False] == list(range(n))
    # Nothing cheap: both strategies take the cheapest valid selection of the smallest size.
    for aggressive in (True, False):
        answer = plan(prices, str(Decimal(ordered[0]) - 1), *rules, aggressive=aggressive)
        assert (len(answer), cost(prices, answer)) == (size, least)


@needs_plan
def test_every_period_when_every_price_is_cheap_or_all_are_needed():
    prices = ["0.1234"] * 100
    assert plan(prices, "0.1234", 3, 2, 10, 5) == list(range(100))
    assert plan(prices, "0", 100, 7, 0, 0, aggressive=False) == list(range(100))
    assert plan(prices, "0", 3, 2, 0, 0) == list(range(100))
