"""Instructions per whole Python call, counted by callgrind: a typical call
against the trivial one (min_selections equal to the number of prices, where
nothing is searched). Counts, unlike times, are the same on a loaded machine.

Builds the module (Release, with -g) in build/callgrind, then runs each grid
under valgrind's callgrind twice, once with the calls and once without, and
divides the difference by the number of calls. Needs valgrind and CMake.

    python bench/call_instructions.py [--lengths 24 96 192 576]

The grid: four made-up days (a daily shape, noise, a third of the prices in
whole cents); six rule sets (4 h in 1 h blocks with at most 8 h off; one 3 h
block; 6 h in 2 h blocks with at most 8 h off and a start within 4 h; 2 h
with at most 4 h off; 8 h with at most 6 h off; 1 h anywhere), the daily
amounts scaled to the number of days; thresholds 0, the median and the
fourth fifth of the prices; both strategies. 24 prices are an hourly day
through get_cheapest_periods; 96 and 192 quarter hours and 576 five-minute
prices (two days) through plan.
"""
from __future__ import annotations

import argparse
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "callgrind"
LENGTHS = [24, 96, 192, 576]
DAYS = 4

Call = tuple[str, list[str], str, int, int, int, int, bool]


def day_shape(hour: float) -> float:
    """EUR/kWh: cheap night, morning and evening peaks, a dip at noon."""
    return (0.092 - 0.01 * math.exp(-((hour - 3.5) / 2) ** 2) + 0.05 * math.exp(-((hour - 8) / 1.4) ** 2)
            + 0.1 * math.exp(-((hour - 19.2) / 1.7) ** 2) - 0.115 * math.exp(-((hour - 13.2) / 2.2) ** 2))


def made_up_series(n: int, per_hour: int, seed: int) -> list[str]:
    rng = random.Random(seed)
    prices, walk = [], 0.0
    for i in range(n):
        walk = 0.8 * walk + rng.gauss(0, 0.004)
        value = day_shape((i / per_hour) % 24) + walk + rng.gauss(0, 0.002)
        prices.append(f"{round(value, 2 if rng.random() < 0.33 else 5):.5f}")
    return prices


def per_hour_of(n: int) -> int:
    return {24: 1, 96: 4, 192: 4}.get(n, 12)


def rule_sets(n: int, per_hour: int) -> list[tuple[int, int, int, int]]:
    """(min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start)."""
    h, days = per_hour, max(1, round(n / (24 * per_hour)))
    rules = [
        (4 * h * days, h, 8 * h, 8 * h),
        (3 * h, 3 * h, n, n),
        (6 * h * days, 2 * h, 8 * h, 4 * h),
        (2 * h * days, 1, 4 * h, 4 * h),
        (8 * h * days, 1, 6 * h, 6 * h),
        (h, 1, n, n),
    ]
    return [(min(k, n), min(c, k, n), min(g, n), min(s, n)) for k, c, g, s in rules]


def thresholds(prices: list[str]) -> list[str]:
    ordered = sorted(prices, key=Decimal)
    return ["0", ordered[len(ordered) // 2], ordered[len(ordered) * 4 // 5]]


def grid(n: int, trivial: bool) -> list[Call]:
    function = "get_cheapest_periods" if n <= 28 else "plan"
    per_hour = per_hour_of(n)
    calls: list[Call] = []
    for day in range(DAYS):
        prices = made_up_series(n, per_hour, seed=1000 * n + day)
        rules = [(n, 1, 0, 0)] if trivial else rule_sets(n, per_hour)
        for threshold in thresholds(prices):
            for rule in rules:
                for aggressive in (True, False):
                    calls.append((function, prices, threshold, *rule, aggressive))
    return calls


# The child: runs under callgrind, makes the calls (or none), counts nothing itself.
CHILD = """
import sys
sys.path.insert(0, sys.argv[1])
sys.path.insert(0, sys.argv[2])
import tariffsieve
from call_instructions import grid
n, mode = int(sys.argv[3]), sys.argv[4]
# Every run makes both grids, so that only the calls differ between runs.
grids = {kind: [(getattr(tariffsieve, c[0]), c[1:]) for c in grid(n, kind == "trivial")]
         for kind in ("typical", "trivial")}
prepared = grids.get(mode, [])
tariffsieve.plan(["1", "2"], "0", 2, 1, 0, 0)  # first-call setup, in every run
for function, arguments in prepared:
    function(*arguments)
"""


def build() -> Path:
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_FLAGS=-g", f"-DPython_EXECUTABLE={sys.executable}"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "tariffsieve"], check=True, stdout=subprocess.DEVNULL)
    return BUILD / "src" / "lib"


def instructions(module_dir: Path, n: int, mode: str, scratch: Path) -> int:
    out = scratch / f"callgrind.{n}.{mode}"
    child = scratch / "child.py"
    child.write_text(CHILD)
    env = dict(os.environ, PYTHONHASHSEED="0")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", "--compress-strings=no",
                    sys.executable, str(child), str(module_dir), str(Path(__file__).parent), str(n), mode],
                   check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for line in out.read_text().splitlines():
        if line.startswith("summary:") or line.startswith("totals:"):
            return int(line.split()[1])
    raise RuntimeError(f"no total in {out}")


def per_call(module_dir: Path, n: int, mode: str, scratch: Path, baseline: int) -> float:
    return (instructions(module_dir, n, mode, scratch) - baseline) / len(grid(n, mode == "trivial"))


def thousands(count: float) -> str:
    return f"{count / 1000:,.1f} k"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lengths", type=int, nargs="+", default=LENGTHS)
    args = parser.parse_args()
    if shutil.which("valgrind") is None:
        sys.exit("valgrind is needed (tools/apt-ensure valgrind)")
    module_dir = build()
    print("Instructions per whole Python call (callgrind), typical grid against the trivial call")
    print()
    print("| function, periods | typical call | trivial call | ratio |")
    print("|---|---|---|---|")
    with tempfile.TemporaryDirectory() as scratch:
        for n in args.lengths:
            baseline = instructions(module_dir, n, "none", Path(scratch))
            typical = per_call(module_dir, n, "typical", Path(scratch), baseline)
            trivial = per_call(module_dir, n, "trivial", Path(scratch), baseline)
            function = "get_cheapest_periods" if n <= 28 else "plan"
            print(f"| `{function}`, {n} | {thousands(typical)} | {thousands(trivial)} | {typical / trivial:.1f}× |",
                  flush=True)


if __name__ == "__main__":
    main()
