"""plan on quarter-hour and five-minute series: time per call over a grid of
rules, peak memory, growth with the length, two threads, and a MILP solver
(HiGHS) on the same requests.

Run after installing the module, and highspy for the MILP side:
    python bench/plan_bench.py [--quick]
--quick measures fewer repeats and leaves out the longest lengths of the MILP
and growth tables; use it while developing.
"""
import argparse
import json
import math
import random
import resource
import statistics
import subprocess
import sys
import threading
import time
from decimal import Decimal

import tariffsieve

LENGTHS = [92, 96, 100, 192, 576, 1152]
GROWTH = [24, 48, 96, 192, 288, 384, 576, 768, 1152]


# --- made-up series and the rule grid -----------------------------------------

def day_shape(hour):
    """EUR/kWh: cheap night, morning and evening peaks, a solar dip below zero at noon."""
    return (0.092 - 0.01 * math.exp(-((hour - 3.5) / 2) ** 2) + 0.05 * math.exp(-((hour - 8) / 1.4) ** 2)
            + 0.1 * math.exp(-((hour - 19.2) / 1.7) ** 2) - 0.115 * math.exp(-((hour - 13.2) / 2.2) ** 2))


def made_up_series(n, per_hour, seed):
    """n prices, per_hour to the hour (4: quarter hours, 12: five minutes), as
    text with 5 decimals. 92 and 100 quarter hours are the clock-change days:
    the hour from 02:00 is missing or repeated. Noise follows a random walk, and
    a third of the prices are rounded to whole cents, which makes ties."""
    rng = random.Random(seed)
    hours = [i / per_hour for i in range(n)]
    if n == 92:
        hours = [h for h in (i / 4 for i in range(96)) if not 2 <= h < 3]
    elif n == 100:
        hours = [i / 4 for i in range(12)] + [i / 4 for i in range(8, 96)]
    prices, walk = [], 0.0
    for hour in hours:
        walk = 0.8 * walk + rng.gauss(0, 0.004)
        value = day_shape(hour % 24) + walk + rng.gauss(0, 0.002)
        prices.append(f"{round(value, 2 if rng.random() < 0.33 else 5):.5f}")
    return prices


def resolution(n):
    """Periods per hour: quarter hours up to two days, five minutes beyond."""
    return 4 if n <= 200 else 12


def rule_grid(n, per_hour):
    """(name, min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start)."""
    hour, days = per_hour, max(1, round(n / (24 * per_hour)))
    grid = [
        ("4 h a day, 1 h blocks, gaps <= 8 h", 4 * hour * days, hour, 8 * hour, 8 * hour),
        ("one 3 h block anywhere", 3 * hour, 3 * hour, n, n),
        ("a quarter, blocks of 2, gaps <= 3", n // 4, 2, 3, 3),
        ("half, 2 h blocks", n // 2, 2 * hour, n, n),
        ("half, 2 h blocks, gaps <= 4 h", n // 2, 2 * hour, 4 * hour, 2 * hour),
        ("min_selections 1", 1, 1, n, n),
        ("min_selections 1, gaps <= 2 h", 1, 1, 2 * hour, 2 * hour),
    ]
    return [(name, min(k, n), min(c, k, n), g, s) for name, k, c, g, s in grid]


def thresholds(prices):
    """Nothing cheap, a fifth cheap, half cheap."""
    ordered = sorted(prices, key=Decimal)
    return [str(Decimal(ordered[0]) - 1), ordered[len(ordered) // 5], ordered[len(ordered) // 2]]


def grid_requests(n, seed=1):
    per_hour = resolution(n)
    prices = made_up_series(n, per_hour, seed)
    return [(prices, threshold, rules[1:]) for rules in rule_grid(n, per_hour) for threshold in thresholds(prices)]


# --- timing ----------------------------------------------------------------------

def time_call(function, repeat_seconds, max_repeat):
    """Best time of one call: repeated until repeat_seconds have passed (at least twice)."""
    best, spent, runs = math.inf, 0.0, 0
    while runs < 2 or (spent < repeat_seconds and runs < max_repeat):
        start = time.perf_counter()
        function()
        elapsed = time.perf_counter() - start
        best, spent, runs = min(best, elapsed), spent + elapsed, runs + 1
    return best


def format_seconds(seconds):
    if seconds < 1e-3:
        return f"{seconds * 1e6:.0f} us"
    if seconds < 1:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds:.2f} s"


def per_call_table(args):
    print("Time per call of plan, over the rule grid (7 rule sets x 3 thresholds: nothing, a fifth, half cheap)")
    print(f"{'periods':>8} {'resolution':>11} {'strategy':>13} {'median':>10} {'worst':>10}   worst rule set")
    for n in LENGTHS:
        requests = grid_requests(n)
        for aggressive in (True, False):
            times = []
            for prices, threshold, rules in requests:
                seconds = time_call(lambda: tariffsieve.plan(prices, threshold, *rules, aggressive=aggressive),
                                    args.repeat_seconds, 50)
                times.append((seconds, rules, threshold))
            worst = max(times)
            print(f"{n:>8} {'15 min' if resolution(n) == 4 else '5 min':>11} "
                  f"{'aggressive' if aggressive else 'conservative':>13} "
                  f"{format_seconds(statistics.median(t for t, _, _ in times)):>10} {format_seconds(worst[0]):>10}"
                  f"   {worst[1]}")
    print()


def growth_table(args):
    lengths = [n for n in GROWTH if not args.quick or n <= 576]
    print("Growth with the length: quarter-hour series, the same rule grid scaled to the length; median / worst")
    print(f"{'periods':>8} {'aggressive':>22} {'conservative':>22}")
    for n in lengths:
        prices = made_up_series(n, 4, 7)
        requests = [(prices, t, rules[1:]) for rules in rule_grid(n, 4) for t in thresholds(prices)]
        cells = []
        for aggressive in (True, False):
            times = [time_call(lambda: tariffsieve.plan(p, t, *rules, aggressive=aggressive), args.repeat_seconds, 20)
                     for p, t, rules in requests]
            cells.append(f"{format_seconds(statistics.median(times))} / {format_seconds(max(times))}")
        print(f"{n:>8} {cells[0]:>22} {cells[1]:>22}")
    print()


# --- memory: one fresh process per request ---------------------------------------

MEMORY_PROBE = """
import json, resource, sys
import tariffsieve
prices, threshold, rules, aggressive = json.load(sys.stdin)
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
tariffsieve.plan(prices, threshold, *rules, aggressive=aggressive)
print(before, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def memory_table(args):
    n = 1152
    growths = []
    for prices, threshold, rules in grid_requests(n)[:: 3 if args.quick else 1]:
        for aggressive in (True, False):
            out = subprocess.run([sys.executable, "-c", MEMORY_PROBE], input=json.dumps([prices, threshold, rules, aggressive]),
                                 capture_output=True, text=True, check=True).stdout
            before, after = (int(v) / 1024 for v in out.split())  # ru_maxrss is in KiB on Linux
            growths.append((after - before, after, rules, aggressive))
    worst = max(growths)
    # Memory the interpreter freed before the call may serve the call again, so
    # the growth can understate; the whole process's peak bounds it from above.
    print(f"Peak memory of one call at {n} periods (a fresh process per request, {len(growths)} requests): the peak "
          f"resident size grew by at most {worst[0]:.1f} MiB ({worst[2]}, {'aggressive' if worst[3] else 'conservative'}); "
          f"the whole process peaked at {max(g[1] for g in growths):.1f} MiB, interpreter included")
    print()


# --- threads -----------------------------------------------------------------------

def threads_table(args):
    requests = grid_requests(96) * (2 if args.quick else 6)

    def work():
        for prices, threshold, rules in requests:
            tariffsieve.plan(prices, threshold, *rules)
            tariffsieve.plan(prices, threshold, *rules, aggressive=False)

    def wall(thread_count):
        best = math.inf
        for _ in range(3):
            threads = [threading.Thread(target=work) for _ in range(thread_count)]
            start = time.perf_counter()
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            best = min(best, time.perf_counter() - start)
        return best

    calls = 2 * len(requests)
    one, two = wall(1), wall(2)
    print(f"Threads at 96 periods ({calls} calls per thread, best of 3): 1 thread {calls / one:.0f} calls/s, "
          f"2 threads {2 * calls / two:.0f} calls/s, ratio {2 * one / two:.2f}")
    print()


# --- the MILP side by side ------------------------------------------------------------

def obeys(selected, n, c, gap, start):
    """The timing rules, checked on an ascending index list."""
    if not selected or selected[0] > start or n - 1 - selected[-1] > gap:
        return False
    length = 1
    for previous, index in zip(selected, selected[1:]):
        if index - previous - 1 > gap:
            return False
        if index == previous + 1:
            length += 1
        elif length < c:
            return False
        else:
            length = 1
    return length >= c or selected[-1] == n - 1


def milp_solve(highspy, prices, k_or_none, min_selections, c, gap, start, time_limit):
    """The cheapest valid selection of exactly k periods (or, with k None, the
    fewest valid periods, at least min_selections). Binary x_i, one per
    period. A block starting at i (x_i = 1, x_(i-1) = 0) holds the next c - 1
    periods, or all up to the end: x_i - x_(i-1) <= x_(i+j). Every window of
    gap + 1 periods holds a selected one, and so do the first start + 1.
    Returns (selection, seconds)."""
    n = len(prices)
    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    h.setOptionValue("mip_rel_gap", 0.0)
    h.setOptionValue("mip_abs_gap", 0.0)
    h.setOptionValue("time_limit", float(time_limit))
    inf = highspy.kHighsInf
    for _ in range(n):
        h.addVar(0.0, 1.0)
    h.changeColsIntegrality(n, list(range(n)), [highspy.HighsVarType.kInteger] * n)
    objective = [float(Decimal(p)) for p in prices] if k_or_none is not None else [1.0] * n
    h.changeColsCost(n, list(range(n)), objective)
    every = list(range(n))
    if k_or_none is None:
        h.addRow(float(min_selections), inf, n, every, [1.0] * n)
    else:
        h.addRow(float(k_or_none), float(k_or_none), n, every, [1.0] * n)
    for i in range(n):
        for j in range(1, c):
            if i + j > n - 1:
                break
            if i == 0:
                h.addRow(-inf, 0.0, 2, [0, j], [1.0, -1.0])
            else:
                h.addRow(-inf, 0.0, 3, [i, i - 1, i + j], [1.0, -1.0, -1.0])
    for i in range(n - gap):
        h.addRow(1.0, inf, gap + 1, list(range(i, i + gap + 1)), [1.0] * (gap + 1))
    if start < n:
        h.addRow(1.0, inf, start + 1, list(range(start + 1)), [1.0] * (start + 1))
    began = time.perf_counter()
    h.run()
    seconds = time.perf_counter() - began
    if h.getModelStatus() != highspy.HighsModelStatus.kOptimal:
        return None, seconds
    values = h.getSolution().col_value
    return [i for i in range(n) if values[i] > 0.5], seconds


def milp_plan(highspy, prices, min_selections, c, gap, start, time_limit=120):
    """(selection, seconds of the size solve, seconds of the cost solve)."""
    fewest, size_seconds = milp_solve(highspy, prices, None, min_selections, c, gap, start, time_limit)
    if fewest is None:
        return None, size_seconds, math.nan
    selection, cost_seconds = milp_solve(highspy, prices, len(fewest), min_selections, c, gap, start, time_limit)
    return selection, size_seconds, cost_seconds


def check_milp_formulation(highspy, count):
    """The MILP against get_cheapest_periods' exhaustive answers, up to 16 periods, nothing cheap."""
    rng = random.Random(5)
    for _ in range(count):
        n = rng.randint(2, 16)
        prices = [f"{rng.randint(-200, 900) / 1000:.3f}" for _ in range(n)]
        k = rng.randint(1, n - 1)
        c = rng.randint(1, k)
        gap = rng.randint(0, n)
        start = rng.randint(0, gap)
        expected = tariffsieve.get_cheapest_periods(prices, "-1", k, c, gap, start, aggressive=False)
        got, _, _ = milp_plan(highspy, prices, k, c, gap, start)
        assert got is not None and obeys(got, n, c, gap, start), (prices, k, c, gap, start, got)
        cost = lambda selection: sum(Decimal(prices[i]) for i in selection)  # noqa: E731
        assert (len(got), cost(got)) == (len(expected), cost(expected)), (prices, k, c, gap, start, got, expected)


def milp_table(args):
    try:
        import highspy
    except ImportError:
        print("MILP comparison skipped: highspy is not installed (pip install -r bench/requirements.txt)")
        return
    checks = 50 if args.quick else 300
    check_milp_formulation(highspy, checks)
    print(f"MILP side by side: HiGHS {highspy.Highs().version()} (mip_rel_gap 0, mip_abs_gap 0) on the conservative "
          f"strategy's first phase, nothing cheap. The MILP formulation agreed with get_cheapest_periods on {checks} "
          "random requests of up to 16 periods first.")
    print("HiGHS solves twice: the fewest valid periods (size), then the cheapest selection of that size (cost);")
    print("the ratio is the cost solve alone against a whole call of plan. Costs are compared exactly, as decimals.")
    print(f"{'periods':>8}  {'rule set':<38} {'plan':>9} {'HiGHS size':>11} {'HiGHS cost':>11} {'ratio':>8}  costs")
    for n in [96] if args.quick else [96, 192]:
        per_hour = resolution(n)
        prices = made_up_series(n, per_hour, 3)
        nothing_cheap = thresholds(prices)[0]
        for name, *rules in rule_grid(n, per_hour):
            ours = tariffsieve.plan(prices, nothing_cheap, *rules, aggressive=False)
            seconds = time_call(lambda: tariffsieve.plan(prices, nothing_cheap, *rules, aggressive=False),
                                args.repeat_seconds, 50)
            theirs, size_seconds, cost_seconds = milp_plan(highspy, prices, *rules)
            if theirs is None:
                verdict = "HiGHS: no proven optimum"
            else:
                ours_cost = sum(Decimal(prices[i]) for i in ours)
                theirs_cost = sum(Decimal(prices[i]) for i in theirs)
                valid = obeys(theirs, n, *rules[1:]) and len(theirs) == len(ours)
                verdict = f"equal ({ours_cost})" if valid and ours_cost == theirs_cost else \
                    f"DIFFERENT: plan {ours_cost} ({len(ours)}), HiGHS {theirs_cost} ({len(theirs)}, valid {valid})"
            print(f"{n:>8}  {name:<38} {format_seconds(seconds):>9} {format_seconds(size_seconds):>11} "
                  f"{format_seconds(cost_seconds):>11} {cost_seconds / seconds:>7.0f}x  {verdict}")
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repeats and lengths")
    args = parser.parse_args()
    args.repeat_seconds = 0.02 if args.quick else 0.2
    if not hasattr(tariffsieve, "plan"):
        sys.exit("this build of tariffsieve has no plan")
    rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(f"plan benchmark (Python {sys.version.split()[0]}, {'quick' if args.quick else 'full'} run; "
          f"this process {rss / 1024:.0f} MiB before)\n")
    per_call_table(args)
    growth_table(args)
    memory_table(args)
    threads_table(args)
    milp_table(args)


if __name__ == "__main__":
    main()
