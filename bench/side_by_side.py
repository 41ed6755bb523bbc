"""Two builds of the module side by side on one grid of hourly requests.

The grid: 24 hourly prices, both strategies, 4 sizes, 3 block lengths,
4 gap limits, 3 start limits and 3 thresholds (864 requests); then the same
grid on 28 prices (the day and four more hours). Each request is timed on
both builds in turn, best of 7 rounds of whole Python calls, for
get_cheapest_periods and plan; the medians over each grid are printed.

    python bench/side_by_side.py BEFORE.so AFTER.so

Each argument is a built extension module file (the tariffsieve*.so of an
installed build); both load into this one process under their own paths.
"""
import importlib
import importlib.machinery
import itertools
import os
import shutil
import statistics
import sys
import tempfile
import time

PRICES = [
    "0.2143", "0.1987", "0.1872", "0.1811", "0.1836", "0.1954", "0.2398", "0.2911",
    "0.3176", "0.2894", "0.2517", "0.2232", "0.2089", "0.2015", "0.2102", "0.2356",
    "0.2779", "0.3312", "0.3598", "0.3421", "0.3027", "0.2688", "0.2417", "0.2236",
]
MORE_HOURS = ["0.2143", "0.1987", "0.1872", "0.1811"]
SIZES = [2, 4, 8, 12]
BLOCKS = [1, 2, 3]
GAPS = [1, 3, 6, 23]
THRESHOLDS = ["0.1987", "0.2089", "0.2356"]  # about the 10th, 30th and 50th percentile
CALLS = 20
ROUNDS = 7


def load(path, tag, folder):
    """The module file at path, imported from a folder of its own under the
    module's own name; the next import of that name finds the other build."""
    os.makedirs(os.path.join(folder, tag))
    shutil.copy(path, os.path.join(folder, tag, "tariffsieve" + importlib.machinery.EXTENSION_SUFFIXES[0]))
    sys.path.insert(0, os.path.join(folder, tag))
    try:
        module = importlib.import_module("tariffsieve")
    finally:
        sys.path.pop(0)
        del sys.modules["tariffsieve"]
    module.tag = tag
    return module


def grid(prices):
    for aggressive, size, block, gap, threshold in itertools.product(
            (True, False), SIZES, BLOCKS, GAPS, THRESHOLDS):
        if block > size:
            block = size
        for start in (0, gap // 2, gap):
            yield (prices, threshold, size, block, gap, start, aggressive)


def seconds_per_call(function, request):
    best = float("inf")
    for _ in range(ROUNDS):
        start = time.perf_counter()
        for _ in range(CALLS):
            function(*request)
        best = min(best, (time.perf_counter() - start) / CALLS)
    return best


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as folder:
        builds = [load(sys.argv[1], "before", folder), load(sys.argv[2], "after", folder)]
        for prices in (PRICES, PRICES + MORE_HOURS):
            compare(builds, list(grid(prices)))


def compare(builds, requests):
    print(f"{len(requests)} requests of {len(requests[0][0])} hourly prices, "
          f"best of {ROUNDS} x {CALLS} whole Python calls each")
    medians = {}
    for name in ("get_cheapest_periods", "plan"):
        times = {build.tag: [] for build in builds}
        for request in requests:
            answers = set()
            for build in builds:  # the builds in turn, request by request
                function = getattr(build, name)
                answers.add(tuple(function(*request)))
                times[build.tag].append(seconds_per_call(function, request))
            if len(answers) != 1:
                sys.exit(f"the builds differ on {name}{request[1:]}")
        for tag, values in times.items():
            medians[(name, tag)] = statistics.median(values)
            for aggressive in (True, False):
                medians[(name, tag, aggressive)] = statistics.median(
                    [value for value, request in zip(values, requests) if request[-1] == aggressive])
    for name in ("get_cheapest_periods", "plan"):
        before, after = medians[(name, "before")], medians[(name, "after")]
        print(f"  {name:<21} before {before * 1e6:6.2f} us   after {after * 1e6:6.2f} us   after/before {after / before:5.3f}")
        print("  " + " " * 21 + "   ".join(
            f"{'aggressive' if aggressive else 'conservative'} {medians[(name, 'before', aggressive)] * 1e6:.2f} -> "
            f"{medians[(name, 'after', aggressive)] * 1e6:.2f} us" for aggressive in (True, False)))
    print(f"  plan after / get_cheapest_periods before: "
          f"{medians[('plan', 'after')] / medians[('get_cheapest_periods', 'before')]:5.3f}")

if __name__ == "__main__":
    main()
