"""Calls a second for many typical plans: single plan calls from one and from
two Python threads, against plan_many with one and with two threads.

    python bench/plan_many.py [--requests 10000] [--lengths 96 192 576] [--repeats 3] [--module-dir DIR]

The requests are call_instructions.py's typical grid at each length (four
made-up days, six rule sets, three thresholds, both strategies: 144
requests), repeated to the number asked for. Each way is timed `repeats`
times, the ways interleaved, and the fastest run counts; ratios are against
single calls in one thread, from the same run. Without --module-dir the
installed tariffsieve is timed.
"""
from __future__ import annotations

import argparse
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


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--requests", type=int, default=10_000)
    parser.add_argument("--lengths", type=int, nargs="+", default=[96, 192, 576])
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--module-dir", type=Path)
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, str(args.module_dir))
    import tariffsieve
    from call_instructions import grid

    ways: dict[str, Callable[[list[tuple]], object]] = {
        "single calls, 1 thread": lambda r: single_calls(tariffsieve.plan, r, 1),
        "single calls, 2 threads": lambda r: single_calls(tariffsieve.plan, r, 2),
        "plan_many, 1 thread": lambda r: tariffsieve.plan_many(r, threads=1),
        "plan_many, 2 threads": lambda r: tariffsieve.plan_many(r, threads=2),
    }
    print(f"{args.requests} requests a run, fastest of {args.repeats} runs; calls a second (ratio to single calls, 1 thread)\n")
    print("| periods | " + " | ".join(ways) + " |")
    print("|---" * (len(ways) + 1) + "|")
    for n in args.lengths:
        typical = [tuple(call[1:]) for call in grid(n, trivial=False)]
        requests = (typical * (args.requests // len(typical) + 1))[: args.requests]
        answers = tariffsieve.plan_many(requests)
        assert answers == [tariffsieve.plan(*r) for r in requests[: len(answers)]], "plan_many differs from plan"
        best = {way: float("inf") for way in ways}
        for _ in range(args.repeats):
            for way, run in ways.items():
                start = time.perf_counter()
                run(requests)
                best[way] = min(best[way], time.perf_counter() - start)
        base = args.requests / best["single calls, 1 thread"]
        cells = [f"{args.requests / t:,.0f} ({args.requests / t / base:.2f}×)" for t in best.values()]
        print(f"| {n} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
