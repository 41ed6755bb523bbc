"""Calls leave no references or memory behind, and a failed allocation is a
MemoryError."""
import gc
import resource
import sys
import tracemalloc

import pytest
from tariffsieve import get_cheapest_periods as cheapest
from test_arguments import FAILURES

LONG = ["0.25"] * 2000
CALLS = [  # (args, kwargs): successes, then every failing path
    ((["5", "1", "1", "9", "1"], "1", 2, 1, 4, 4), {}),
    ((["0.5", "9", "3", "0.5", "6", "0.5"], "0.5", 1, 1, 3, 3, False), {}),
    ((["3", "2", "1"] * 3, "1", 2, 2, 3, 3), {}),
    ((LONG, "1", 1, 1), {}),
    ((LONG + ["x"], "1", 1, 1), {}),
    ((["79228162514264337593543950335", "1", "5"], "0", 1, 1, 1, 1), {}),
] + [(args, kwargs) for args, kwargs, _, _ in FAILURES]


def call_all(times):
    for _ in range(times):
        for args, kwargs in CALLS:
            try:
                cheapest(*args, **kwargs)
            except BaseException:
                pass


def shared(o):
    """Objects the interpreter shares and whose counts move on their own."""
    small = (type(o) is int and -5 <= o <= 256) or (type(o) is str and len(o) <= 1)
    return small or any(o is s for s in (None, True, False)) or sys.getrefcount(o) > 10**6


def objects():
    """The call's arguments and some price items."""
    for args, kwargs in CALLS:
        for value in [*args, *kwargs.values()]:
            for o in [value, *value[:3]] if type(value) is list else [value]:
                if not shared(o):
                    yield o


def test_reference_counts_unchanged(capsys):
    call_all(2)
    gc.collect()
    before = [sys.getrefcount(o) for o in objects()]
    call_all(200)
    gc.collect()
    assert [sys.getrefcount(o) for o in objects()] == before
    capsys.readouterr()


def test_memory_stays_flat(capfd):
    # capfd, not capsys: captured abort diagnostics must not count as growth.
    call_all(50)
    tracemalloc.start()
    try:
        call_all(5)
        sys._clear_type_cache()  # attribute names cached by type lookups are not ours
        python_before = tracemalloc.get_traced_memory()[0]
        call_all(300)  # one object left behind per call would be ~1 MB
        python_grown = tracemalloc.get_traced_memory()[0] - python_before
    finally:
        tracemalloc.stop()
    native_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    call_all(1500)  # a leaked price vector alone would be 48 MB
    native_grown_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - native_before
    assert python_grown < 64 * 1024 and native_grown_kib < 16 * 1024
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
