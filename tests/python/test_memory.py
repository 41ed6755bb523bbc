"""No call leaks: a long loop over every success and failure path, the
hostile ones included, keeps the interpreter's traced memory, the process's
peak memory and the reference counts of the arguments flat."""
import gc
import resource
import sys
import tracemalloc

from tariffsieve import get_cheapest_periods as cheapest
from test_hostile import OddList, OddStr
from test_threads import Index, earlier_panic, outcome, requests

LONG = [f"0.{i}" for i in range(10_000)]


def all_paths():
    panic = earlier_panic()

    def nested():
        outcome(lambda: cheapest(["79228162514264337593543950335", "1"], "0", 1, 1, 1, 1))

    def abort_through():
        cheapest(["79228162514264337593543950335", "1"], "0", 1, 1, 1, 1)

    hostile = [
        lambda: cheapest(LONG, "1", 1, 1),
        lambda: cheapest(LONG + ["x"], "1", 1, 1),
        lambda: cheapest(LONG + ["\udc80"], "1", 1, 1),
        lambda: cheapest(OddList(OddStr(p) for p in ["5", "1", "1", "9"]), OddStr("1"), 2, 1, 2, 2),
        lambda: cheapest(["1", "2"], OddStr("\udc80"), 1, 1),
        lambda: cheapest(["1", "2"], "1", 1, 1, **{"\udc80": 1}),
        lambda: cheapest(["1", "2"], "1", 1, Index(1, nested)),
        lambda: cheapest(["1", "2"], "1", 1, Index(1, abort_through)),
        lambda: cheapest(["1", "2"], "1", 1, Index(type(panic)(object()))),
        lambda: cheapest(["1", "2"], "1", 1, Index(TypeError("wrapped"))),
        lambda: cheapest(["1", "2"], "1", 1, Index(2**64)),
        lambda: cheapest(["5", "1", "1", "9", "1"], "1", 2, 1, 2**64 - 1, 2**64 - 1, False),
    ]
    return requests() + hostile


def run(paths, rounds):
    for _ in range(rounds):
        for call in paths:
            outcome(call)
    gc.collect()
    # Attribute lookups by a fresh name object fill the interpreter's type
    # cache, which keeps those names until their slots are reused: bounded,
    # but it would look like growth here.
    sys._clear_type_cache()


def test_a_long_loop_over_every_path_keeps_memory_flat(capfd):
    paths = all_paths()
    run(paths, 20)  # warm-up: caches, interned names, the PanicException class
    capfd.readouterr()

    peak_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    run(paths, 1000)  # a leaked price vector alone would be 160 MB
    peak_after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    capfd.readouterr()

    tracemalloc.start()
    try:
        run(paths, 10)
        traced_before = tracemalloc.get_traced_memory()[0]
        run(paths, 200)  # a leaked object on any one path: 200 objects
        traced_after = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    capfd.readouterr()

    calls = 1200 * len(paths)
    print(f"{calls} calls; peak memory {peak_before} KiB -> {peak_after} KiB; "
          f"traced {traced_before} B -> {traced_after} B", file=sys.__stdout__)
    assert peak_after - peak_before < 8 * 1024
    assert traced_after - traced_before < 4 * 1024


def test_arguments_keep_their_reference_counts(capfd):
    panic = earlier_panic()
    prices = ["5", "1", "1", "9", "1"]
    threshold = "1"
    index = Index(2)
    raising = Index(panic)
    objects = [panic, prices, threshold, index, raising, *prices, *LONG[:3]]

    def calls():
        outcome(lambda: cheapest(prices, threshold, index, 1, 4, 4))
        outcome(lambda: cheapest(prices, threshold, 1, raising))
        outcome(lambda: cheapest(prices, "abc", index, 1))
        outcome(lambda: cheapest(LONG, threshold, index, 1))
        outcome(lambda: cheapest(prices + ["\udc80"], threshold, index, 1))

    for _ in range(5):
        calls()
    gc.collect()
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(500):
        calls()
    gc.collect()
    assert [sys.getrefcount(o) for o in objects] == before
    capfd.readouterr()
