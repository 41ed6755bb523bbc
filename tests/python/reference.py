"""The reference both functions are held to: a literal model of the selection
rules in exact Python arithmetic (every combination of every size, every
choice of cheap blocks, 96-bit decimal sums and averages rounded half to
even), the one generator of random requests, and expect_as_reference, the
one comparison of a function's outcome with the model's.

The model tries every combination, so it is meant for short series."""
import random
from decimal import Decimal
from fractions import Fraction
from itertools import combinations

LIMIT = 2**96  # a decimal's mantissa stays below this
MAX_SCALE = 28
HUGE = str(LIMIT - 1)
# Texts that are no decimal; the parser's own tests hold the whole grammar.
NOT_DECIMALS = ["abc", "1e3", " 1", "", "1.2.3", "--1", "_1", "NaN"]
NOT_THRESHOLDS = ["x", "1e-3", "", "Infinity"]


class Overflow(Exception):
    """A sum that fits at no scale: the call aborts."""


# --- decimals: (mantissa, scale) pairs -------------------------------------------

def parse(text):
    sign, digits, exponent = Decimal(text).as_tuple()
    mantissa = int("".join(map(str, digits))) * (-1 if sign else 1)
    if exponent > 0:
        mantissa, exponent = mantissa * 10**exponent, 0
    assert abs(mantissa) < LIMIT and -exponent <= MAX_SCALE, text  # the generator writes only such texts
    return mantissa, -exponent


def value(number):
    return Fraction(number[0], 10 ** number[1])


def add(a, b):
    """a + b: exact at the larger scale when it fits, else rounded half to
    even at the largest scale that fits; a zero operand leaves the other as it is."""
    if a[0] == 0:
        return b
    if b[0] == 0:
        return a
    scale = max(a[1], b[1])
    exact = a[0] * 10 ** (scale - a[1]) + b[0] * 10 ** (scale - b[1])
    for kept in range(scale, -1, -1):
        rounded = round(Fraction(exact, 10 ** (scale - kept)))  # Fraction rounds half to even
        if abs(rounded) < LIMIT:
            return rounded, kept
    raise Overflow


def average(cost, count):
    """cost / count rounded half to even at the largest scale that fits, as a value."""
    exact = value(cost) / count
    for scale in range(MAX_SCALE, -1, -1):
        rounded = round(exact * 10**scale)
        if abs(rounded) < LIMIT:
            return Fraction(rounded, 10**scale)
    raise AssertionError("a count never overflows a division")


def cost(prices, indices):
    total = (0, 0)
    for i in indices:
        total = add(total, prices[i])
    return total


# --- the rules --------------------------------------------------------------------

def blocks_ok(selected, n, min_consecutive_periods):
    """Every block at least min_consecutive_periods long, but a last one that reaches the end."""
    length = 1
    for previous, index in zip(selected, selected[1:]):
        if index == previous + 1:
            length += 1
        else:
            if length < min_consecutive_periods:
                return False
            length = 1
    return length >= min_consecutive_periods or selected[-1] == n - 1


def valid(selected, n, min_consecutive_periods, max_gap_between_periods, max_gap_from_start):
    """Whether an index list keeps the timing rules: ascending indices of the
    series, at most max_gap_from_start idle before the first, at most
    max_gap_between_periods idle between blocks and after the last, blocks
    long enough."""
    if not selected or selected != sorted(set(selected)) or selected[0] < 0 or selected[-1] >= n:
        return False
    if selected[0] > min(max_gap_from_start, max_gap_between_periods):
        return False
    gaps = [b - a - 1 for a, b in zip(selected, selected[1:])] + [n - 1 - selected[-1]]
    return max(gaps) <= max_gap_between_periods and blocks_ok(selected, n, min_consecutive_periods)


def cheap_groups(main, cheap):
    """The blocks of the cheap periods outside main."""
    groups = []
    for i in (i for i in cheap if i not in main):
        if groups and groups[-1][-1] == i - 1:
            groups[-1].append(i)
        else:
            groups.append([i])
    return groups


def merged(main, groups):
    """Every extension of main by a choice of groups, in the order of their masks."""
    for mask in range(1, 2 ** len(groups)):
        chosen = [i for j, group in enumerate(groups) if mask >> j & 1 for i in group]
        yield sorted(main + chosen)


def aggressive(prices, cheap, min_selections, c, gap, start):
    n = len(prices)
    best, best_cost = [], cost(prices, range(n))
    for k in range(min_selections, n + 1):
        for main in map(list, combinations(range(n), k)):
            if not valid(main, n, c, gap, start):
                continue
            kept, kept_cost = main, cost(prices, main)
            for candidate in merged(main, cheap_groups(main, cheap)):
                if blocks_ok(candidate, n, c):
                    candidate_cost = cost(prices, candidate)
                    if average(candidate_cost, len(candidate)) < average(kept_cost, len(kept)):
                        kept, kept_cost = candidate, candidate_cost
            best_average = average(best_cost, len(best)) if best else LIMIT - 1
            if average(kept_cost, len(kept)) < best_average:
                best, best_cost = kept, kept_cost
        if best:
            return best
    return f"No valid combination found that satisfies the constraints for {n} items"


def conservative(prices, cheap, min_selections, c, gap, start):
    n = len(prices)
    cost(prices, range(n))  # the total, summed first: an overflow aborts at once
    main = None
    for k in range(min_selections, n + 1):
        for candidate in map(list, combinations(range(n), k)):
            if valid(candidate, n, c, gap, start):
                candidate_cost = cost(prices, candidate)
                if main is None or value(candidate_cost) < value(main_cost):
                    main, main_cost = candidate, candidate_cost
        if main is not None:
            break
    else:
        return f"No valid main combination found that satisfies the constraints for {n} items"
    kept, kept_cost = main, main_cost
    for candidate in merged(main, cheap_groups(main, cheap)):
        if blocks_ok(candidate, n, c):
            candidate_cost = cost(prices, candidate)
            more = sum(i in cheap for i in candidate) - sum(i in cheap for i in kept)
            if more > 0 or (more == 0 and value(candidate_cost) < value(kept_cost)):
                kept, kept_cost = candidate, candidate_cost
    return kept


RULE_MESSAGES = [
    (lambda n, s, c, g, f: n == 0, "prices cannot be empty"),
    (lambda n, s, c, g, f: n > 28, "prices cannot contain more than 28 items"),
    (lambda n, s, c, g, f: s == 0, "min_selections must be greater than 0"),
    (lambda n, s, c, g, f: s > n, "min_selections cannot be greater than total number of items"),
    (lambda n, s, c, g, f: c == 0, "min_consecutive_periods must be greater than 0"),
    (lambda n, s, c, g, f: c > s, "min_consecutive_periods cannot be greater than min_selections"),
    (lambda n, s, c, g, f: f > g, "max_gap_from_start must be less than or equal to max_gap_between_periods"),
]


def reference(request):
    """get_cheapest_periods' outcome: ("answer", indices), ("error", message)
    for a ValueError, or ("abort", message) for an aborted computation."""
    prices, threshold, min_selections, c, gap, start, is_aggressive = request
    if any(p in NOT_DECIMALS for p in prices) or threshold in NOT_THRESHOLDS:
        return "error", "Invalid decimal"  # the prices first, then the threshold: one message
    n = len(prices)
    for broken, message in RULE_MESSAGES:
        if broken(n, min_selections, c, gap, start):
            return "error", message
    values = [parse(p) for p in prices]
    cheap = [i for i, p in enumerate(values) if value(p) <= value(parse(threshold))]
    if min_selections == n or len(cheap) == n:
        return "answer", list(range(n))
    strategy = aggressive if is_aggressive else conservative
    try:
        answer = strategy(values, cheap, min_selections, c, gap, start)
    except Overflow:
        return "abort", "Addition overflowed"
    return ("answer", answer) if isinstance(answer, list) else ("error", answer)


# --- requests ---------------------------------------------------------------------

def price_text(rng, decimals):
    if decimals == MAX_SCALE:
        return f"{rng.choice('-+ ').strip()}0.{rng.randrange(10 ** MAX_SCALE):028d}"
    whole = rng.choice([rng.randint(-50, 400), rng.randint(-5, 5), rng.randint(0, 3)])
    return str(Decimal(whole).scaleb(-decimals))


def random_rules(rng, n):
    """(min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start) that keep the request rules."""
    min_selections = rng.randint(1, n)
    gap = rng.randint(0, n)
    return min_selections, rng.randint(1, min_selections), gap, rng.randint(0, gap)


def random_request(rng, max_periods):
    """Mostly well-formed requests over series of 1 to max_periods, some broken in one way."""
    n = min(1 + int(rng.expovariate(1 / 4)), max_periods)
    decimals = rng.choice([0, 1, 2, 3, 4, 4])
    if n <= 8 and rng.random() < 0.05:
        decimals = MAX_SCALE  # sums that round
    prices = [price_text(rng, decimals) for _ in range(n)]
    threshold = rng.choice(prices + [price_text(rng, min(decimals, 4)), "-1000", "1000"])
    min_selections, c, gap, start = random_rules(rng, n)
    flaw = rng.random()
    if flaw < 0.01:
        prices = []
    elif flaw < 0.02:
        prices[rng.randrange(n)] = rng.choice(NOT_DECIMALS)
    elif flaw < 0.03:
        threshold = rng.choice(NOT_THRESHOLDS)
    elif flaw < 0.04:
        min_selections = rng.choice([0, n + 1])
    elif flaw < 0.05:
        c = rng.choice([0, min_selections + 1])
    elif flaw < 0.06 and gap > 0:
        start = gap + 1
    elif flaw < 0.08 and n <= 6:
        prices[rng.randrange(n)] = rng.choice([HUGE, "-" + HUGE])
        prices[rng.randrange(n)] = HUGE  # some sums may leave the decimal range
    return prices, threshold, min_selections, c, gap, start, rng.random() < 0.5


def requests(seed, count, max_periods=10):
    rng = random.Random(seed)
    return [random_request(rng, max_periods) for _ in range(count)]


# --- the comparison ---------------------------------------------------------------

def outcome(function, request):
    try:
        return "answer", function(*request)
    except ValueError as error:
        return "error", str(error)
    except BaseException as error:  # PanicException derives from BaseException
        if type(error).__name__ != "PanicException":
            raise
        return "abort", str(error)


def expect_as_reference(function, request):
    """The function answers as the model does. get_cheapest_periods says
    exactly what the model says; plan's messages may go on where the
    model's end (which item, and why), and it reports an overflow as a
    ValueError."""
    expected, got = reference(request), outcome(function, request)
    if function.__name__ == "plan":
        kind = "error" if expected[0] == "abort" else expected[0]
        assert got[0] == kind and str(got[1]).startswith(str(expected[1])), (request, expected, got)
    else:
        assert got == expected, (request, expected, got)
    return expected[0]


def exact_average(total, count):
    """total / count as the engine rounds an average: half to even, keeping as
    many decimals (up to 28) as fit below 2**96."""
    from decimal import ROUND_HALF_EVEN, Context, Decimal, localcontext

    with localcontext(Context(prec=80)):
        quotient = Decimal(total) / count
        for places in range(28, -1, -1):
            rounded = quotient.quantize(Decimal(1).scaleb(-places), rounding=ROUND_HALF_EVEN)
            if abs(rounded.scaleb(places)) < 2 ** 96:
                return rounded
    return quotient
