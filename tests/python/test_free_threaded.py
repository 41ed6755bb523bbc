"""Free-threaded CPython: the module keeps the GIL off, and calls whose price
list other threads keep changing answer for one list the caller really had,
or fail cleanly."""
import os
import random
import sysconfig
import threading
from decimal import Decimal

import pytest
from tariffsieve import get_cheapest_periods as cheapest
from tariffsieve import plan, plan_many, plan_totals

FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
# Set where a free-threaded wheel is tested: there these tests must run, never skip.
REQUIRED = os.environ.get("TARIFFSIEVE_REQUIRE_FREE_THREADED") == "1"
needs_free_threading = pytest.mark.skipif(not (FREE_THREADED or REQUIRED), reason="needs a free-threaded CPython")

CALLERS = 4
CHANGERS = 2
OVERLAPPED_CALLS = 1000
MAX_CALLS = 50_000
SHORT = ["0.27", "0.31", "0.12", "0.08", "0.45", "0.33", "0.05", "0.19", "0.24", "0.50", "0.11", "0.09",
         "0.41", "0.07", "0.29", "0.36", "0.02", "0.18", "0.22", "0.47", "0.13", "0.06", "0.38", "0.21"]


def new_str(text):
    return "".join(text)  # a str object of its own, freed when the list lets go of it


def day(seed):
    rng = random.Random(seed)
    return [f"{rng.uniform(-0.05, 0.45):.2f}" for _ in range(96)]


# Each state is a list of price values and how to make fresh items of them;
# the list under test only ever holds the items of one state (or its reverse).
SHORT_STATES = [SHORT[:12], SHORT[12:], SHORT[:9], SHORT[:10] + ["x"]]
LONG_STATES = [
    (day(1), new_str),
    (day(2), Decimal),  # each item is read through Python code
    (day(3), float),
    (day(4), lambda text: int(Decimal(text) * 100)),
    (day(5)[:40] + ["x"], new_str),
    (day(6)[:50] + [None], lambda text: None if text is None else new_str(text)),
]


def short_call(prices):
    return cheapest(prices, "0.15", 2, 1, 3, 3)


def long_call(prices):
    return plan(prices, "0.2", 8, 2, 16, 8, False)


def batch_call(prices):
    """long_call through plan_many, its one request planned on another thread."""
    [answer] = plan_many([(prices, "0.2", 8, 2, 16, 8, False)], threads=2)
    if isinstance(answer, BaseException):
        raise answer
    return answer


def totals_call(prices):
    indices, total, average, runs = plan_totals(prices, "0.2", 8, 2, 16, 8, False)
    return tuple(indices), total, average, tuple(runs)


def fresh_short(values):
    return [new_str(text) for text in values]


def fresh_long(state):
    values, make = state
    return [make(text) for text in values]


def outcome(call, prices):
    try:
        return ("result", tuple(call(prices)))
    except (ValueError, TypeError) as error:
        return (type(error), str(error))


def answers(call, states):
    """Every outcome a call may have: one for each state and its reverse."""
    return {outcome(call, made) for made in states} | {outcome(call, made[::-1]) for made in states}


@needs_free_threading
def test_importing_keeps_the_gil_off(run_fresh):
    out = run_fresh("""
        import sys, warnings
        warnings.simplefilter("error")  # re-enabling the GIL warns
        import tariffsieve
        print(sys._is_gil_enabled())
    """)
    assert out.split() == ["False"]


@needs_free_threading
def test_calls_on_lists_other_threads_change_answer_for_one_list_or_fail_cleanly():
    short, long = fresh_short(SHORT_STATES[0]), fresh_long(LONG_STATES[0])
    allowed = {
        short_call: answers(short_call, [fresh_short(s) for s in SHORT_STATES]),
        long_call: answers(long_call, [fresh_long(s) for s in LONG_STATES]),
        totals_call: answers(totals_call, [fresh_long(s) for s in LONG_STATES]),
    }
    allowed[batch_call] = allowed[long_call]
    for outcomes in allowed.values():  # the states give answers and errors of each kind
        kinds = {kind for kind, _ in outcomes}
        assert "result" in kinds and ValueError in kinds
    assert TypeError in {kind for kind, _ in allowed[long_call]}

    stop, start, changes = threading.Event(), threading.Barrier(CHANGERS + CALLERS), [0]
    wrong, done, overlaps = [], [], []

    def change(seed):
        rng = random.Random(seed)
        start.wait()
        # Bounded even if the callers never finish.
        for _ in range(10**7):
            if stop.is_set():
                return
            # Mostly in place, which leaves a reader that does not hold the
            # list's items of its own a mix of two orders.
            if rng.random() < 0.8:
                short.reverse()
                long.reverse()
            else:
                short[:] = fresh_short(rng.choice(SHORT_STATES))
                long[:] = fresh_long(rng.choice(LONG_STATES))
            changes[0] += 1

    def call(seed):
        # Calls until enough of them ran while the lists changed, which on a
        # busy machine may take many more.
        rng = random.Random(seed)
        start.wait()
        overlapped = 0
        for _ in range(MAX_CALLS):
            which, prices = rng.choice([(short_call, short), (long_call, long), (totals_call, long), (batch_call, long)])
            before = changes[0]
            got = outcome(which, prices)
            if got not in allowed[which]:
                wrong.append((which.__name__, got))
            overlapped += changes[0] != before
            if overlapped == OVERLAPPED_CALLS:
                break
        overlaps.append(overlapped)
        done.append(seed)

    changers = [threading.Thread(target=change, args=(seed,)) for seed in range(CHANGERS)]
    callers = [threading.Thread(target=call, args=(seed,)) for seed in range(CALLERS)]
    for t in changers + callers:
        t.start()
    for t in callers:
        t.join(timeout=300)
    stop.set()
    for t in changers:
        t.join(timeout=60)
    assert not any(t.is_alive() for t in changers + callers)
    assert wrong == []
    assert sorted(done) == list(range(CALLERS))
    # A caller none of whose calls overlapped a change tested nothing.
    assert min(overlaps) > 0, f"calls that overlapped a change, per caller: {overlaps}"
