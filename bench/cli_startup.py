"""Start-up cost of the tariffsieve-plan command: a whole run on the 192
quarter hours of the bundled two-day sample (interpreter start, import,
reading the CSV, planning, printing), beside the bare interpreter's start.

Run after installing the module: python bench/cli_startup.py [runs]
Target: a whole run below 100 ms.
"""
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
SAMPLE = ROOT / "examples" / "sample_two_days_15min.csv"
COMMAND = Path(sys.executable).with_name("tariffsieve-plan")
RULES = ["--run", "4h", "--block", "1h", "--max-off", "8h", "--cheap", "0.0500", "--until", "24:00"]


def timings(argv, runs):
    spent = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
        spent.append(time.perf_counter() - start)
    return spent


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    if not COMMAND.exists():
        sys.exit(f"{COMMAND} is missing: install the package into this interpreter's environment first")
    cases = [
        ("interpreter alone (python -c pass)", [sys.executable, "-c", "pass"]),
        ("interpreter + import of the command", [sys.executable, "-c", "import tariffsieve, tariffsieve_plan.command"]),
        ("tariffsieve-plan, 192 rows, --format json", [str(COMMAND), str(SAMPLE), *RULES, "--format", "json"]),
        ("tariffsieve-plan, 192 rows, text and chart", [str(COMMAND), str(SAMPLE), *RULES]),
    ]
    print(f"Start-up, {runs} runs each (best / median wall time), Python {sys.version.split()[0]}")
    best = {}
    for title, argv in cases:
        spent = timings(argv, runs)
        best[title] = min(spent)
        print(f"  {title:<44} {min(spent) * 1e3:6.1f} ms / {statistics.median(spent) * 1e3:6.1f} ms")
    alone = best[cases[0][0]]
    for title, _ in cases[2:]:
        print(f"  {title}: {best[title] * 1e3:.1f} ms in all (target 100 ms), "
              f"{(best[title] - alone) * 1e3:.1f} ms beyond the interpreter's own start")


if __name__ == "__main__":
    main()
