"""No call of either function leaks: a long loop over every success and
failure path, the hostile ones included, keeps the interpreter's traced
memory, the process's peak memory and the reference counts of the arguments
flat; and a failed allocation is a MemoryError."""
import decimal
import gc
import resource
import sys
import tracemalloc

import numpy as np
import pytest
from reentry import OVERFLOWING, Index, earlier_panic
from test_arguments import FAILURES as CHEAPEST_FAILURES
from test_hostile import OddList, OddStr
from test_plan_arguments import FAILURES as PLAN_FAILURES
from test_threads import quarter_hours

import tariffsieve

cheapest, plan = tariffsieve.get_cheapest_periods, tariffsieve.plan
LONG = [f"0.{i}" for i in range(10_000)]
DAY = quarter_hours(1, seed=1)


def hostile_calls():
    panic = earlier_panic()

    def nested():
        try:
            cheapest(list(OVERFLOWING), "0", 1, 1, 1, 1)
        except BaseException:
            pass

    def abort_through():
        cheapest(list(OVERFLOWING), "0", 1, 1, 1, 1)

    return [
        (cheapest, (LONG, "1", 1, 1)),
        (cheapest, (LONG + ["x"], "1", 1, 1)),
        (cheapest, (LONG + ["\udc80"], "1", 1, 1)),
        (cheapest, (OddList(OddStr(p) for p in ["5", "1", "1", "9"]), OddStr("1"), 2, 1, 2, 2)),
        (cheapest, (["1", "2"], OddStr("\udc80"), 1, 1)),
        (cheapest, (["1", "2"], "1", 1, Index(1, nested))),
        (cheapest, (["1", "2"], "1", 1, Index(1, abort_through))),
        (cheapest, (["1", "2"], "1", 1, Index(type(panic)(object())))),
        (cheapest, (["1", "2"], "1", 1, Index(TypeError("wrapped")))),
        (cheapest, (["5", "1", "1", "9", "1"], "1", 2, 1, 2**64 - 1, 2**64 - 1, False)),
        (cheapest, (list(OVERFLOWING), "0", 1, 1, 1, 1, False)),
        (plan, (DAY, "0.1", 16, 4, 32, 16)),
        (plan, (tuple(decimal.Decimal(p) for p in DAY), 0.1, 16, 4, 32, 16, False)),
        (plan, (np.array([float(p) for p in DAY]), np.float64(0.1), 8, 2, 20, 10)),
        (plan, ([int(float(p) * 100) for p in DAY], np.int64(10), 8, 2, 20, 10)),
        (plan, (LONG[:500] + [None], "0", 1, 1)),
        (plan, (LONG, "0", 1, 1)),
        (plan, (list(OVERFLOWING), "0", 1, 1, 1, 1)),
        (plan, (["1", "2"], "1", 1, Index(1, nested))),
        (plan, ([1, Index(KeyError("k"))], 0.5, 1, 1)),
    ]


CALLS = ([(cheapest, args, kwargs) for args, kwargs, _, _ in CHEAPEST_FAILURES]
         + [(plan, args, kwargs) for args, kwargs, _, _ in PLAN_FAILURES]
         + [(function, args, {}) for function, args in hostile_calls()])


def call_all(rounds):
    for _ in range(rounds):
        for function, args, kwargs in CALLS:
            try:
                function(*args, **kwargs)
            except BaseException:  # PanicException derives from BaseException
                pass
    gc.collect()
    # Attribute lookups by a fresh name object fill the interpreter's type
    # cache, which keeps those names until their slots are reused: bounded,
    # but it would look like growth here.
    sys._clear_type_cache()


def shared(o):
    """Objects the interpreter shares and whose counts move on their own."""
    small = (type(o) is int and -5 <= o <= 256) or (type(o) is str and len(o) <= 1)
    return small or any(o is s for s in (None, True, False)) or sys.getrefcount(o) > 10**6


def arguments():
    """The calls' arguments and the first items of their lists and tuples."""
    for _, args, kwargs in CALLS:
        for value in [*args, *kwargs.values()]:
            for o in [value, *value[:3]] if type(value) in (list, tuple) else [value]:
                if not shared(o):
                    yield o


def test_a_long_loop_over_every_path_keeps_memory_flat(capfd):
    call_all(20)  # warm-up: caches, interned names, the PanicException class
    peak_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    call_all(600)  # a leaked price vector alone would be 96 MB
    peak_after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    capfd.readouterr()

    tracemalloc.start()
    try:
        # Two equal rounds, compared with each other: a leak grows with the calls, while a one-off allocation
        # (seen on the free-threaded build after other tests, a few KiB, the same for 150 or 600 calls) lands
        # in the first.
        call_all(150)
        gc.collect()
        traced_before = tracemalloc.get_traced_memory()[0]
        call_all(150)  # a leaked object on any one path: 150 objects
        gc.collect()
        traced_after = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    capfd.readouterr()

    print(f"{780 * len(CALLS)} calls; peak memory {peak_before} KiB -> {peak_after} KiB; "
          f"traced {traced_before} B -> {traced_after} B", file=sys.__stdout__)
    assert peak_after - peak_before < 8 * 1024
    assert traced_after - traced_before < 4 * 1024


def test_arguments_keep_their_reference_counts(capfd):
    call_all(5)
    before = [sys.getrefcount(o) for o in arguments()]
    call_all(200)
    assert [sys.getrefcount(o) for o in arguments()] == before
    capfd.readouterr()


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
def test_failed_allocation_raises_memory_error(run_fresh):
    out = run_fresh(
        """
        import resource, tariffsieve
        prices = ["1"] * 10_000_000  # 80 MB of references; their decimals need 160 MB
        status = open("/proc/self/status").read()
        size_kib = int(status.split("VmSize:")[1].split()[0])
        resource.setrlimit(resource.RLIMIT_AS, ((size_kib + 64 * 1024) * 1024, resource.RLIM_INFINITY))
        try:
            tariffsieve.get_cheapest_periods(prices, "1", 1, 1)
        except MemoryError:
            print("MemoryError")
        print(tariffsieve.get_cheapest_periods(["2", "1"], "1", 1, 1, 1, 1))
        """
    )
    assert out.split() == ["MemoryError", "[1]"]
