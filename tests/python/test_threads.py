"""Concurrent callers: eight threads mixing valid requests, every kind of bad
input and aborts, with Python code (and GIL switches) running inside calls;
and the process-wide objects made once when first imports and first aborts
race."""
import random
import sys
import threading
import time

import pytest
from reentry import OVERFLOWING, Index, earlier_panic
from tariffsieve import get_cheapest_periods as cheapest

THREADS = 8
ROUNDS = 200
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


def test_concurrent_calls_answer_as_a_single_thread_does(fast_switching, capfd):
    calls = requests()
    expected = [outcome(call) for call in calls]
    assert {kind for kind, _ in expected} >= {"result", TypeError, ValueError, OverflowError,
                                               UnicodeEncodeError, KeyError, type(earlier_panic())}
    barrier = threading.Barrier(THREADS)
    wrong, done = [], []

    def work(seed):
        order = list(range(len(calls))) * ROUNDS
        random.Random(seed).shuffle(order)
        barrier.wait()
        for i in order:
            got = outcome(calls[i])
            if got != expected[i]:
                wrong.append((i, got, expected[i]))
        done.append(len(order))

    threads = [threading.Thread(target=work, args=(seed,)) for seed in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    capfd.readouterr()  # the aborts' diagnostics
    assert wrong == []
    assert sum(done) == THREADS * ROUNDS * len(calls)


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
        assert out.split() == ["8", "1", "['get_cheapest_periods',", "'plan']", "8", "1", "PanicException", "BaseException"]
