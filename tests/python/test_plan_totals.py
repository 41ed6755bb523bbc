"""plan_totals: plan's answer with the engine's own totals and averages. Its
registration beside plan, the same answers and errors as plan on random and
hostile requests, the numbers against exact decimal arithmetic, and the
sub-interpreter rule (its GIL release: test_threads; free-threaded callers:
test_free_threaded)."""
import random
import re
from itertools import count, groupby
from decimal import ROUND_HALF_EVEN, Context, Decimal, localcontext

import pytest
import tariffsieve
from reentry import Index, earlier_panic
from tariffsieve import plan, plan_totals
from test_module import SUBINTERPRETER
from test_plan_arguments import FAILURES, SIGNATURE, TWINS

LARGEST = 2**96
MAX = str(LARGEST - 1)
OVERFLOWED = "overflowed"
PLAIN = re.compile(r"-?\d+(\.\d+)?")  # the text form: never an exponent, never a bare point


def test_registered_after_plan():
    names = tariffsieve.__all__
    assert names.index("plan_totals") > names.index("plan")
    assert (plan_totals.__name__, plan_totals.__module__, plan_totals.__self__) == ("plan_totals", "tariffsieve", tariffsieve)
    assert plan_totals.__text_signature__ == SIGNATURE
    assert plan_totals.__doc__.startswith("Find the cheapest periods as plan does, with the totals and averages")


def fitted(value, finest):
    """value rounded half to even at the finest scale (at most finest) that
    keeps its digits below 2**96: how a sum or quotient is held."""
    for places in range(max(finest, 0), -1, -1):
        rounded = value.quantize(Decimal(1).scaleb(-places), rounding=ROUND_HALF_EVEN)
        if abs(rounded.scaleb(places)) < LARGEST:
            return rounded
    return None  # beyond the range


def summed(prices):
    """(total, average) of the prices added from zero in order, each sum held
    at the finer scale of its operands as far as it fits; None on overflow."""
    with localcontext(Context(prec=200)):  # keywords here only from Python 3.11
        total = Decimal(0)
        for price in prices:
            total = fitted(total + price, max(-total.as_tuple().exponent, -price.as_tuple().exponent))
            if total is None:
                return None
        return total, fitted(total / len(prices), 28)


def runs_of(indices):
    """(first, last) of each run: the indices of a run all lie the same distance past their position."""
    groups = (list(run) for _, run in groupby(indices, key=lambda i, counter=count(): i - next(counter)))
    return [(run[0], run[-1]) for run in groups]


def outcome(function, *args, **kwargs):
    try:
        return "result", function(*args, **kwargs)
    except BaseException as error:  # a PanicException too
        return type(error), str(error).replace("plan_totals()", "plan()")


def expect_as_plan(args, kwargs=None):
    """plan_totals answers as plan does; returns its answer, None for an
    error, OVERFLOWED for plan's answer whose totals leave the range."""
    kwargs = kwargs or {}
    expected, got = outcome(plan, *args, **kwargs), outcome(plan_totals, *args, **kwargs)
    if expected[0] == "result" and got[0] is ValueError and got[1].startswith("Addition overflowed: "):
        return OVERFLOWED
    if expected[0] != "result" or got[0] != "result":
        assert got == expected
        return None
    assert got[1][0] == expected[1]
    return got[1]


def random_price(rng, family):
    if family == 0:  # everyday tariffs, mixed scales and kinds
        text = f"{rng.randint(-5000, 50000) / 10**rng.randint(0, 4):.{rng.randint(0, 5)}f}"
        return rng.choice([text, Decimal(text), float(text)])
    if family == 1:  # 28 decimals (below 2**96 in units of the last): sums round on the way
        return f"{rng.choice('-  ')}{rng.randint(0, 6)}.{rng.randrange(10**28):028d}".strip()
    return rng.choice([MAX, "-" + MAX, LARGEST // 3, "1", "0.5"])  # sums that leave the range


def random_request(rng):
    n = rng.choice([rng.randint(1, 12), rng.randint(13, 40), rng.randint(41, 200)])
    # Prices near the range only in short series: in longer ones they would
    # leave plan to its exhaustive search, which takes long from 20 periods.
    # Half the series are everyday prices alone, whose sums are exact.
    families = [0] if rng.random() < 0.5 else [0, 0, 0, 1, 2] if n <= 12 else [0, 0, 0, 1]
    prices = [random_price(rng, rng.choice(families)) for _ in range(n)]
    size = rng.randint(0, n + 1)
    gap = rng.choice([0, 1, 2, 4, n, 2**64 - 1])
    return (prices, rng.choice([*prices, "0", "-1000"]), size, rng.randint(0, min(size, 5)) or 1, gap,
            rng.randint(0, min(gap, n + 1)), rng.random() < 0.5)


def test_random_requests_answer_as_plan_with_exact_totals():
    rng, answered, overflowed = random.Random(30), 0, 0
    for _ in range(400):
        args = random_request(rng)
        answer = expect_as_plan(args)
        if answer is None:
            continue
        indices = plan(*args) if answer is OVERFLOWED else answer[0]
        values = [Decimal(str(args[0][i])) for i in indices]  # a float means its repr's digits
        expected = summed(values)
        run_sums = [summed(values[indices.index(a):indices.index(b) + 1]) for a, b in runs_of(indices)]
        assert (answer is OVERFLOWED) == (expected is None or None in run_sums)
        if answer is OVERFLOWED:
            overflowed += 1
            continue
        answered += 1
        _, total, average, runs = answer
        assert (Decimal(total), Decimal(average)) == expected
        assert [(a, b, Decimal(t), Decimal(m)) for a, b, t, m in runs] == [
            (a, b, *sums) for (a, b), sums in zip(runs_of(indices), run_sums)]
        assert all(PLAIN.fullmatch(text) for text in [total, average, *(text for run in runs for text in run[2:])])
    assert answered > 100 and overflowed > 0


def test_total_that_plan_never_summed_is_a_value_error():
    # Every period must be chosen, so plan answers without adding a price;
    # the total then leaves the range, the second time on the way although
    # the exact total fits. (A run's own total that overflows: the C++ tests.)
    for prices in [[MAX, MAX], [MAX, MAX, "-" + MAX]]:
        assert plan(prices, "0", len(prices), 1) == list(range(len(prices)))
        with pytest.raises(ValueError, match=r"^Addition overflowed: sums of these prices leave the range"):
            plan_totals(prices, "0", len(prices), 1)
    # In the other order every sum on the way is in range.
    assert plan_totals(["-" + MAX, MAX, MAX], MAX, 3, 1, 0, 0)[1:3] == (MAX, "26409387504754779197847983445")


def test_text_form():
    assert plan_totals(["0.10", "0.20", "5"], "0.2", 2, 2, 1, 0) == ([0, 1], "0.30", "0.15", [(0, 1, "0.30", "0.15")])
    assert plan_totals(["10", "20", "0.01"], "0", 3, 1) == (
        [0, 1, 2], "30.01", "10.003333333333333333333333333", [(0, 2, "30.01", "10.003333333333333333333333333")])
    assert plan_totals([1e-20, "-1.5"], "-2", 2, 1)[1:3] == ("-1.49999999999999999999", "-0.749999999999999999995")


@pytest.mark.parametrize("args, kwargs, error, message", FAILURES)
def test_every_refusal_of_plan(args, kwargs, error, message):
    expect_as_plan(args, kwargs)


@pytest.mark.parametrize("prices, threshold, text_prices, text_threshold", TWINS)
def test_every_kind_of_price_means_its_text(prices, threshold, text_prices, text_threshold):
    n = len(text_prices)
    assert outcome(plan_totals, prices, threshold, n - 1, 1, 2, 0) == outcome(plan_totals, text_prices, text_threshold,
                                                                               n - 1, 1, 2, 0)


def test_a_panic_coming_back_through_python_code():
    panic = earlier_panic()
    expect_as_plan((["2", "1"], "1", 1, Index(panic)))


def test_one_interpreter_per_process(run_fresh):
    out = run_fresh(SUBINTERPRETER + """
    import tariffsieve
    print(tariffsieve.plan_totals(["2", "1"], "1", 1, 1, 1, 1))
    print(import_in_subinterpreter())
    print(tariffsieve.plan_totals(["2", "1"], "1", 1, 1, 1, 1))
    """).split("\n")
    if out[0] == "skip":
        pytest.skip("this interpreter has no way to run a sub-interpreter")
    assert out[0] == out[2] == "([1], '1', '1', [(1, 1, '1', '1')])"
    assert out[1].startswith("ImportError: ")
