"""Calls a second for many typical plans: single plan calls from one and from
two Python threads, against plan_many with one and with two threads.

    python bench/plan_many.py [--requests 10000] [--lengths 96 192 576] [--repeats 3] [--runs 1]
                              [--prices shared|own] [--module-dir DIR]

The requests are call_instructions.py's typical grid at each length (four
made-up days, six rule sets, three thresholds, both strategies: 144
requests), repeated to the number asked for: runs of 36 requests on one
price list, as a fleet's. With --prices own every request has a made-up day
of its own (a simulation over many days), with the grid's rule sets,
thresholds and strategies in turn. Each way is timed `repeats`
times, the ways interleaved, and the fastest run counts; ratios are against
single calls in one thread, from the same run. With --runs the whole table
is run that many times, each run's rows printed with the load average after
it, then the medians. Without --module-dir the installed tariffsieve is
timed.
"""
from __future__ import annotations

import argparse
import os
import statistics
import sys
import threading
import time
from pathlib import Path
from typing import Callable

sys.path.insert(0, str(Path(__file__).resolve().parent))


def single_calls(plan: Callable, requests: list[tuple], threads: int) -> None:
    def run(part: list[tuple]) -> None:
        for request in part:
            plan(*request)

    if threads == 1:
        run(requests)
        return
    workers = [threading.Thread(target=run, args=(requests[i::threads],)) for i in range(threads)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()


def shared_price_requests(n: int, count: int) -> list[tuple]:
    from call_instructions import grid

    typical = [tuple(call[1:]) for call in grid(n, trivial=False)]
    return (typical * (count // len(typical) + 1))[:count]


def own_price_requests(n: int, count: int) -> list[tuple]:
    from call_instructions import made_up_series, per_hour_of, rule_sets, thresholds

    per_hour = per_hour_of(n)
    rules = rule_sets(n, per_hour)
    requests = []
    for i in range(count):
        prices = made_up_series(n, per_hour, seed=1_000_000 + 1000 * n + i)
        requests.append((prices, thresholds(prices)[i % 3], *rules[i % len(rules)], i % 2 == 0))
    return requests


def cells(rates: dict[str, float], ratios: dict[str, float]) -> str:
    return " | ".join(f"{rates[way]:,.0f} ({ratios[way]:.2f}×)" for way in rates)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--requests", type=int, default=10_000)
    parser.add_argument("--lengths", type=int, nargs="+", default=[96, 192, 576])
    parser.add_argument("--repeats", type=int, default=3, help="timings of each way in a run; the fastest counts")
    parser.add_argument("--runs", type=int, default=1, help="runs of the whole table; more than one adds their medians")
    parser.add_argument("--prices", choices=["shared", "own"], default="shared",
                        help="runs of requests on one price list, or a list for every request")
    parser.add_argument("--module-dir", type=Path)
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, str(args.module_dir))
    import tariffsieve

    ways: dict[str, Callable[[list[tuple]], object]] = {
        "single calls, 1 thread": lambda r: single_calls(tariffsieve.plan, r, 1),
        "single calls, 2 threads": lambda r: single_calls(tariffsieve.plan, r, 2),
        "plan_many, 1 thread": lambda r: tariffsieve.plan_many(r, threads=1),
        "plan_many, 2 threads": lambda r: tariffsieve.plan_many(r, threads=2),
    }
    print(f"{tariffsieve.__file__}\nCPython {sys.version.split()[0]}, {os.cpu_count()} cores; load average "
          f"{os.getloadavg()[0]:.2f} at the start (on a quiet machine, well below 1)")
    print(f"{args.requests} requests a run, prices {args.prices}, fastest of {args.repeats} timings; calls a second (ratio to single calls, "
          f"1 thread); the load average is the 1-minute one after each run\n")
    print("| run | periods | " + " | ".join(ways) + " | load |")
    print("|---" * (len(ways) + 3) + "|")
    requests_of = {}
    for n in args.lengths:
        requests_of[n] = (shared_price_requests if args.prices == "shared" else own_price_requests)(n, args.requests)
        answers = tariffsieve.plan_many(requests_of[n])
        assert answers == [tariffsieve.plan(*r) for r in requests_of[n]], "plan_many differs from plan"
    results: dict[int, list[tuple[dict[str, float], dict[str, float]]]] = {n: [] for n in args.lengths}
    for run in range(1, args.runs + 1):
        for n in args.lengths:
            best = {way: float("inf") for way in ways}
            for _ in range(args.repeats):
                for way, timed in ways.items():
                    start = time.perf_counter()
                    timed(requests_of[n])
                    best[way] = min(best[way], time.perf_counter() - start)
            rates = {way: args.requests / t for way, t in best.items()}
            ratios = {way: rate / rates["single calls, 1 thread"] for way, rate in rates.items()}
            results[n].append((rates, ratios))
            print(f"| {run} | {n} | {cells(rates, ratios)} | {os.getloadavg()[0]:.2f} |", flush=True)
    if args.runs > 1:
        print(f"\nMedians over the {args.runs} runs (each ratio from its own run):\n")
        print("| periods | " + " | ".join(ways) + " |")
        print("|---" * (len(ways) + 1) + "|")
        for n in args.lengths:
            rates = {way: statistics.median(r[way] for r, _ in results[n]) for way in ways}
            ratios = {way: statistics.median(q[way] for _, q in results[n]) for way in ways}
            print(f"| {n} | {cells(rates, ratios)} |")
    print("\nTarget: plan_many with 2 threads at 96 periods at least 1.80× single calls in 1 thread, on a quiet "
          "2-core machine.")


if __name__ == "__main__":
    main()
