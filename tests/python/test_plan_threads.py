"""plan and threads: the GIL is released while the engine searches, and
calls from eight threads answer as a single thread does."""
import decimal
import random
import sys
import threading
import time

import numpy as np
import pytest
from tariffsieve import plan

THREADS = 8
ROUNDS = 30


def quarter_hours(days, seed):
    """A made-up quarter-hour series: a daily shape, noise, negative middays, ties."""
    rng = random.Random(seed)
    prices = []
    for i in range(96 * days):
        hour = (i % 96) / 4
        shape = 0.25 + 0.1 * (7 <= hour < 9) + 0.15 * (17 <= hour < 21) - 0.3 * (11 <= hour < 15)
        prices.append(f"{round(shape + rng.uniform(-0.05, 0.05), 2):.2f}")
    return prices


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


def requests():
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


def test_eight_threads_answer_as_one_does():
    calls = requests()
    expected = [outcome(call) for call in calls]
    assert {kind for kind, _ in expected} == {"result", TypeError, ValueError}
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
    assert wrong == []
    assert sum(done) == THREADS * ROUNDS * len(calls)
