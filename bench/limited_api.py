"""What the limited API (abi3) build costs per call, against the
version-specific build of the same source, side by side in one process.

Typical requests: get_cheapest_periods on 24 hourly prices (text), plan on
96 and 192 quarter hours with the prices as str, float and decimal.Decimal;
both strategies; two rule sets (4 h in blocks of at least 1 h with at most
8 h off, and 3 h in one block, within each 24 h). Each round times a batch of calls of every
request on both builds in turn, the order alternating from round to round;
the per-call time of a request is its median over the rounds. Both builds
must give the same answers.

    python bench/limited_api.py VERSION_SPECIFIC.so ABI3.so [--rounds 300]
    python bench/limited_api.py VERSION_SPECIFIC.so ABI3.so --instructions

--instructions counts, instead of timing, the instructions executed inside
the module's two entry points (callgrind, one valgrind run per build and
group of requests; needs valgrind).
"""
from __future__ import annotations

import argparse
import importlib.util
import math
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from decimal import Decimal
from types import ModuleType
from typing import Any

BUILDS = ("version_specific", "abi3")
PRICE_KINDS = ("str", "float", "Decimal")
# (function, periods, price kinds) of each group that the table shows.
GROUPS = [("get_cheapest_periods", 24, ("str",))] + [
    ("plan", periods, PRICE_KINDS) for periods in (96, 192)]
# Rule sets in hours: (hours to run, shortest block, longest time off, latest
# start): 4 h in blocks of at least 1 h, at most 8 h off; 3 h in one block.
RULE_HOURS = [(4, 1, 8, 8), (3, 3, 21, 21)]
THRESHOLD = "0.05"
BATCH_SECONDS = 0.002
INSTRUCTION_CALLS = 20

# (function, periods, price kind), and per group the per-call figures of
# each of its requests as (version-specific, abi3).
Group = tuple[str, int, str]
Figures = dict[Group, list[tuple[float, float]]]


@dataclass(frozen=True)
class Request:
    function: str
    periods: int
    kind: str
    arguments: tuple[Any, ...]

    @property
    def group(self) -> Group:
        return self.function, self.periods, self.kind


def day_prices(periods: int) -> list[str]:
    """EUR/kWh with 5 decimals: a cheap night, two peaks, a dip at noon;
    periods / 24 to the hour, repeated day after day."""
    per_hour = periods // 24 if periods <= 96 else 4
    prices = []
    for i in range(periods):
        hour = (i / per_hour) % 24
        value = (0.09 + 0.05 * math.exp(-((hour - 8) / 1.4) ** 2) + 0.1 * math.exp(-((hour - 19) / 1.7) ** 2)
                 - 0.07 * math.exp(-((hour - 13) / 2.2) ** 2) + 0.003 * math.sin(7 * i))
        prices.append(f"{value:.5f}")
    return prices


def as_kind(prices: list[str], kind: str) -> list[Any]:
    if kind == "float":
        return [float(price) for price in prices]
    if kind == "Decimal":
        return [Decimal(price) for price in prices]
    return list(prices)


def requests() -> list[Request]:
    made = []
    for function, periods, kinds in GROUPS:
        per_hour = 1 if periods == 24 else 4
        prices = day_prices(periods)
        for kind in kinds:
            for run, block, off, start in RULE_HOURS:
                for aggressive in (True, False):
                    rules = (run * per_hour, block * per_hour, off * per_hour, start * per_hour, aggressive)
                    made.append(Request(function, periods, kind, (as_kind(prices, kind), THRESHOLD) + rules))
    return made


def load(path: str, name: str) -> ModuleType:
    """The module file at path, imported under `name`.tariffsieve: both
    builds export PyInit_tariffsieve, each is loaded from its own file."""
    spec = importlib.util.spec_from_file_location(f"{name}.tariffsieve", path)
    if spec is None or spec.loader is None or not os.path.isfile(path):
        sys.exit(f"{path}: not a module file")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def bound(module: ModuleType, request: Request) -> Callable[[], list[int]]:
    function = getattr(module, request.function)
    arguments = request.arguments
    return lambda: function(*arguments)


def batch_size(call: Callable[[], object]) -> int:
    start = time.perf_counter()
    call()
    once = max(time.perf_counter() - start, 1e-7)
    return max(1, int(BATCH_SECONDS / once))


def per_call_seconds(call: Callable[[], object], number: int) -> float:
    start = time.perf_counter()
    for _ in range(number):
        call()
    return (time.perf_counter() - start) / number


def check_answers(modules: Sequence[ModuleType], all_requests: list[Request]) -> None:
    for request in all_requests:
        answers = [bound(module, request)() for module in modules]
        if answers[0] != answers[1]:
            sys.exit(f"the builds disagree on {request.function}, {request.periods} {request.kind} prices, "
                     f"rules {request.arguments[2:]}: {answers[0]} != {answers[1]}")


def time_requests(modules: Sequence[ModuleType], all_requests: list[Request], rounds: int) -> Figures:
    """Per request and build, the median per-call seconds over the rounds."""
    calls = [[bound(module, request) for module in modules] for request in all_requests]
    numbers = [batch_size(pair[0]) for pair in calls]
    samples: list[list[list[float]]] = [[[], []] for _ in all_requests]
    for round_index in range(rounds):
        order = (0, 1) if round_index % 2 == 0 else (1, 0)
        for pair, number, sample in zip(calls, numbers, samples):
            for build in order:
                sample[build].append(per_call_seconds(pair[build], number))
    result: Figures = {}
    for request, sample in zip(all_requests, samples):
        result.setdefault(request.group, []).append((statistics.median(sample[0]), statistics.median(sample[1])))
    return result


def print_table(title: str, unit: str, scale: float, groups: Figures) -> None:
    """Per group: the mean per-call figure of each build over its requests,
    and the ratio abi3 / version-specific of those means (and the range of
    the requests' own ratios)."""
    print(title)
    print(f"  {'function':<21} {'periods':>7} {'prices':<8} {'version-specific':>17} {'abi3':>12} "
          f"{'ratio':>6}  requests' ratios")
    for (function, periods, kind), pairs in groups.items():
        normal = statistics.fmean(pair[0] for pair in pairs)
        limited = statistics.fmean(pair[1] for pair in pairs)
        ratios = [pair[1] / pair[0] for pair in pairs]
        spread = f"{min(ratios):.3f} to {max(ratios):.3f}" if len(pairs) > 1 else "(counted together)"
        print(f"  {function:<21} {periods:>7} {kind:<8} {normal * scale:>13.2f} {unit:<3} {limited * scale:>8.2f} "
              f"{unit:<3} {limited / normal:>6.3f}  {spread}")


def callgrind_instructions(script_args: list[str]) -> int:
    """Instructions executed within the module's entry points while the
    child runs script_args."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "callgrind.out")
        command = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", "--collect-atstart=no",
                   "--toggle-collect=tariffsieve::py::trampoline*", "--toggle-collect=tariffsieve::py::plan_entry*",
                   sys.executable, __file__, *script_args]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out, encoding="utf-8") as dump:
            totals = re.search(r"^(?:totals|summary):\s*(\d+)", dump.read(), re.MULTILINE)
    if totals is None:
        sys.exit("callgrind wrote no totals")
    return int(totals.group(1))


def count_instructions(paths: Sequence[str], all_requests: list[Request]) -> Figures:
    """Per request group and build, instructions per call; each request of
    the group is called INSTRUCTION_CALLS times in a child under callgrind."""
    groups: Figures = {}
    for group in dict.fromkeys(request.group for request in all_requests):
        count = sum(1 for request in all_requests if request.group == group)
        per_call = []
        for path in paths:
            total = callgrind_instructions(["--child", path, *map(str, group)])
            per_call.append(total / (count * INSTRUCTION_CALLS))
        groups[group] = [(per_call[0], per_call[1])]
        print(f"  counted {group}", file=sys.stderr)
    return groups


def run_child(path: str, function: str, periods: str, kind: str) -> None:
    module = load(path, "measured")
    for request in requests():
        if request.group == (function, int(periods), kind):
            call = bound(module, request)
            for _ in range(INSTRUCTION_CALLS):
                call()


def main() -> None:
    if len(sys.argv) > 1 and sys.argv[1] == "--child":
        run_child(*sys.argv[2:6])
        return
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("version_specific", help="the version-specific module file (tariffsieve.cpython-*.so)")
    parser.add_argument("abi3", help="the limited API module file (tariffsieve.abi3.so)")
    parser.add_argument("--rounds", type=int, default=300)
    parser.add_argument("--instructions", action="store_true", help="count instructions with callgrind instead")
    options = parser.parse_args()
    paths = [options.version_specific, options.abi3]
    modules = [load(path, name) for path, name in zip(paths, BUILDS)]
    all_requests = requests()
    check_answers(modules, all_requests)
    print(f"Python {sys.version.split()[0]}; both builds give the same answers to all {len(all_requests)} requests")
    if options.instructions:
        groups = count_instructions(paths, all_requests)
        print_table(f"Instructions per call inside the module (callgrind, {INSTRUCTION_CALLS} calls of each request)",
                    "k", 1e-3, groups)
    else:
        groups = time_requests(modules, all_requests, options.rounds)
        print_table(f"Time per call (median of {options.rounds} interleaved rounds, order alternating)",
                    "us", 1e6, groups)


if __name__ == "__main__":
    main()
