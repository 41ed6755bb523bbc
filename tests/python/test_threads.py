"""Concurrent callers of both functions: eight threads mixing valid requests,
every kind of bad input and aborts, with Python code (and GIL switches)
running inside calls; a price list that another thread keeps changing;
plan releasing the GIL while it searches; and the process-wide objects made
once when first imports and first aborts race."""
import decimal
import random
import sys
import threading
import time

import numpy as np
import pytest
from reentry import OVERFLOWING, Index, earlier_panic
from tariffsieve import get_cheapest_periods as cheapest
from tariffsieve import plan

THREADS = 8
SERIES = ["0.27", "0.31", "0.12", "0.08", "0.45", "0.33", "0.05", "0.19", "0.24", "0.50", "0.11", "0.09",
          "0.41", "0.07", "0.29", "0.36", "0.02", "0.18", "0.22", "0.47", "0.13", "0.06", "0.38", "0.21",
          "0.15", "0.44", "0.03", "0.26"]


def yield_gil():
    time.sleep(0)  # releases the GIL: another thread's call runs meanwhile


def requests():
    """Factories of calls; each builds fresh arguments, so that a request that
    changes its own list changes no other."""
    panic = earlier_panic()
    made = [
        # valid requests of both strategies, small and full-size
        lambda: cheapest(["5", "1", "1", "9", "1"], "1", 2, 1, 4, 4),
        lambda: cheapest(["0.5", "9", "3", "0.5", "6", "0.5"], "0.5", 1, 1, 3, 3, False),
        lambda: cheapest(list(SERIES), "0.1", 6, 2, 3, 2),
        lambda: cheapest(list(SERIES), "0.1", 6, 2, 3, 2, False),
        lambda: cheapest(list(SERIES[:12]), "0.2", 3, 3, 4, 1, aggressive=False),
        lambda: cheapest(["1", "2", "3"], "0", 3, 3),
        lambda: cheapest(list(SERIES), "0.3", Index(4, yield_gil), Index(2, yield_gil), 5, 5),
        lambda: cheapest(list(SERIES), "0.3", 4, 2, 2**64 - 1, 2**64 - 1, False),
        # binding and conversion failures
        lambda: cheapest(),
        lambda: cheapest(["1"], "1", 1, 1, 0, 0, True, 0),
        lambda: cheapest(["1"], "1", 1, 1, price=1),
        lambda: cheapest(("1",), "1", 1, 1),
        lambda: cheapest(["1"], 1.5, 1, 1),
        lambda: cheapest(["1"], "\udc80", 1, 1),
        lambda: cheapest(["1", "2"], "1", -1, 1),
        lambda: cheapest(["1", "2"], "1", 1, 2**64),
        lambda: cheapest(["1", "2"], "1", 1, 1.0),
        lambda: cheapest(["1", "2"], "1", 1, 1, aggressive=1),
        lambda: cheapest(["1", 2], "1", 1, 1),
        lambda: cheapest(["1", "\ud800"], "1", 1, 1),
        lambda: cheapest(["1", "x"], "1", 1, 1),
        lambda: cheapest(["1", "2"], "1", Index(KeyError("k"), yield_gil), 1),
        # request rules
        lambda: cheapest([], "1", 1, 1),
        lambda: cheapest(["1"] * 29, "1", 1, 1),
        lambda: cheapest(["1", "2"], "abc", 1, 1),
        lambda: cheapest(["1", "2"], "1", 1, 1, 0, 1),
        # aborts, also one coming back through __index__
        lambda: cheapest(list(OVERFLOWING), "0", 1, 1, 1, 1),
        lambda: cheapest(list(OVERFLOWING), "0", 1, 1, 1, 1, False),
        lambda: cheapest(["1", "2"], "1", 1, Index(panic, yield_gil)),
    ]

    def own_list_changed(change):
        def call():
            prices = ["3", "1", "2", "4"]
            return cheapest(prices, "1", 1, Index(1, lambda: (change(prices), yield_gil())), 3, 3)
        return call

    made += [
        own_list_changed(list.clear),
        own_list_changed(lambda p: p.append("x")),
        own_list_changed(lambda p: p.__setitem__(0, 7)),
        own_list_changed(lambda p: p.extend(["1"] * 30)),
    ]
    return made


def quarter_hours(days, seed):
    """A made-up quarter-hour series: a daily shape, noise, negative middays, ties."""
    rng = random.Random(seed)
    prices = []
    for i in range(96 * days):
        hour = (i % 96) / 4
        shape = 0.25 + 0.1 * (7 <= hour < 9) + 0.15 * (17 <= hour < 21) - 0.3 * (11 <= hour < 15)
        prices.append(f"{round(shape + rng.uniform(-0.05, 0.05), 2):.2f}")
    return prices


def plan_requests():
    d = decimal.Decimal
    day, two_days = quarter_hours(1, seed=1), quarter_hours(2, seed=2)
    return [
        lambda: plan(day, "0.1", 16, 4, 32, 16),
        lambda: plan(day, 0.1, 16, 4, 32, 16, False),
        lambda: plan(np.array([float(p) for p in two_days]), 0.0, 24, 4, 48, 24),
        lambda: plan(tuple(d(p) for p in two_days), d("0.05"), 12, 12, 192, 96, False),
        lambda: plan([int(float(p) * 100) for p in day], np.int64(10), 8, 2, 20, 10),
        lambda: plan(["5", "1", "1", "9", "1"], "1", 2, 1, 4, 4),
        lambda: plan(["79228162514264337593543950335", "1", "5"], "0", 1, 1, 1, 1),
        lambda: plan(day[:10] + [None], "0", 1, 1),
        lambda: plan(day[:10] + [float("nan")], "0", 1, 1),
        lambda: plan(day, "0", 97, 1),
        lambda: plan(day * 22, "0", 1, 1),
    ]


def outcome(call):
    try:
        return ("result", call())
    except BaseException as error:
        return (type(error), str(error))


@pytest.fixture
def fast_switching():
    before = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter can
    yield
    sys.setswitchinterval(before)


def run_in_threads(work):
    """Runs work(seed) in THREADS threads that start together."""
    barrier = threading.Barrier(THREADS)

    def start(seed):
        barrier.wait()
        work(seed)

    threads = [threading.Thread(target=start, args=(seed,)) for seed in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


@pytest.mark.parametrize("make_calls, rounds, kinds", [
    (requests, 200, {"result", TypeError, ValueError, OverflowError, UnicodeEncodeError, KeyError, "panic"}),
    (plan_requests, 30, {"result", TypeError, ValueError}),
], ids=["get_cheapest_periods", "plan"])
def test_concurrent_calls_answer_as_a_single_thread_does(make_calls, rounds, kinds, fast_switching, capfd):
    calls = make_calls()
    expected = [outcome(call) for call in calls]
    panic = type(earlier_panic())
    assert {"panic" if kind is panic else kind for kind, _ in expected} == kinds
    wrong, done = [], []

    def work(seed):
        order = list(range(len(calls))) * rounds
        random.Random(seed).shuffle(order)
        for i in order:
            got = outcome(calls[i])
            if got != expected[i]:
                wrong.append((i, got, expected[i]))
        done.append(len(order))

    run_in_threads(work)
    capfd.readouterr()  # the aborts' diagnostics
    assert wrong == []
    assert sum(done) == THREADS * rounds * len(calls)


@pytest.mark.parametrize("function, price", [
    (cheapest, str),
    (plan, lambda value: Index(value, yield_gil)),  # read by Python code that lets other threads run
], ids=["get_cheapest_periods", "plan"])
def test_a_list_that_another_thread_changes_is_read_whole(function, price, fast_switching):
    # One thread swaps the whole series between two others of the same
    # length; every call must answer for one of them, never for a mixture.
    # The count is read through Python code that lets the swapper run, so
    # that calls overlap swaps even where the GIL is held while prices are read.
    first = [price(p) for p in (5, 90, 30, 5, 60, 5, 40, 80)]
    second = [price(p) for p in (70, 10, 10, 90, 20, 80, 5, 30)]
    rules = ("10", Index(2, yield_gil), 1, 3, 3)
    answers = {tuple(function(first, *rules)), tuple(function(second, *rules))}
    assert len(answers) == 2
    prices, stop, wrong, swaps, overlapped = list(first), threading.Event(), [], [0], [0]

    def swap():
        while not stop.is_set():
            prices[:] = second
            swaps[0] += 1
            yield_gil()
            prices[:] = first
            swaps[0] += 1
            yield_gil()

    def work(seed):
        # 200 calls each, then on until some call overlapped a swap: where the
        # GIL seldom passes to the swapper among eight callers, 200 may not do.
        for calls in range(1, 20001):
            before = swaps[0]
            got = tuple(function(prices, *rules))
            overlapped[0] += swaps[0] != before
            if got not in answers:
                wrong.append(got)
            if calls >= 200 and overlapped[0]:
                break

    swapper = threading.Thread(target=swap)
    swapper.start()
    try:
        run_in_threads(work)
    finally:
        stop.set()
        swapper.join()
    assert wrong == []
    # Calls that no swap overlapped would have tested nothing.
    assert overlapped[0] > 0, f"no call overlapped a swap ({swaps[0]} swaps)"


def test_other_threads_run_while_plan_searches():
    # With forced switches made rare, the counting thread can only run while
    # the caller holds no GIL. Between reading the counter before and after a
    # call, the caller runs no code that releases it, so the counter moves
    # only if plan itself releases it while the engine runs. A long search
    # (1,152 quarter hours, a quarter of them in short blocks, conservative)
    # shows it on its first call; a short one may need several tries.
    prices = quarter_hours(12, seed=7)
    request = (prices, "0", 288, 4, 8, 8, False)
    counter, stop, started = [0], threading.Event(), threading.Event()

    def count():
        started.set()
        while not stop.is_set():
            counter[0] += 1
            time.sleep(0)  # gives the GIL back to a caller that waits for it

    before_interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    thread = threading.Thread(target=count)
    try:
        thread.start()
        started.wait()
        moved = []
        for _ in range(200):
            before = counter[0]
            plan(*request)
            moved.append(counter[0] - before)
            if moved[-1] > 0:
                break
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(before_interval)
    assert moved[-1] > 0, f"no progress in {len(moved)} calls"


def test_first_imports_and_first_aborts_race(run_fresh):
    # Each round in a fresh process: eight threads load the module at once
    # (half through the import statement, half running the initialiser
    # directly), then make the first abort of the process at once.
    code = """
        import importlib, importlib.util, sys, threading
        sys.setswitchinterval(1e-6)
        spec = importlib.util.find_spec("tariffsieve")
        barrier, modules, panics = threading.Barrier(8), [], []
        def work(i):
            barrier.wait()
            if i % 2:
                module = importlib.import_module("tariffsieve")
            else:
                module = spec.loader.create_module(spec)
            modules.append(module)
            barrier.wait()
            try:
                module.get_cheapest_periods(["79228162514264337593543950335", "1"], "0", 1, 1, 1, 1)
            except BaseException as error:
                panics.append(type(error))
        threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
        for t in threads: t.start()
        for t in threads: t.join()
        print(len(modules), len({id(m) for m in modules}), modules[0].__all__,
              len(panics), len(set(panics)), panics[0].__name__, panics[0].__bases__[0].__name__)
    """
    for _ in range(4):
        out = run_fresh(code)
        assert out.split() == ["8", "1", "['get_cheapest_periods',", "'plan',", "'plan_many']", "8", "1", "PanicException", "BaseException"]
