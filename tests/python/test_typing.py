"""Types as a user's checker sees them: mypy --strict and pyright (strict), run on
small typed callers against a fresh environment that holds only the built wheel,
must know the exact signature and __all__ and reject wrong calls; the stub must
agree with the module it describes."""
import importlib.metadata
import json
import os
import re
import subprocess
import sys

import pytest

from built_distribution import ROOT, built_distribution, require

require("mypy", "pyright")

import tariffsieve  # noqa: E402

# A caller the checkers must accept; each reveal_type names, in its comment,
# what they must see. Both files open with pyright's switch to strict mode.
ACCEPTED = """\
# pyright: strict
import tariffsieve
from tariffsieve import get_cheapest_periods

prices: list[str] = ["0.5", "9", "3", "0.5", "6", "0.5"]
reveal_type(get_cheapest_periods)  # signature
reveal_type(tariffsieve.__all__)  # all
chosen = get_cheapest_periods(prices, "0.5", 1, 1, 2, 1, False)
reveal_type(chosen)  # result
by_keyword: list[int] = tariffsieve.get_cheapest_periods(
    aggressive=True, max_gap_from_start=1, max_gap_between_periods=2,
    min_consecutive_periods=1, min_selections=1, low_price_threshold="0.5", prices=prices)
defaults: list[int] = get_cheapest_periods(prices, "0.5", len(prices), 1)
indices, total, average, runs = tariffsieve.plan_totals(prices, "0.5", 1, 1)
reveal_type(average)  # totals average
reveal_type(runs)  # totals runs
from datetime import datetime, time, timedelta
from tariffsieve_schedule import schedule
hours = [(datetime(2026, 4, 10, h), "0.1") for h in range(3)]
reveal_type(schedule(hours, total=timedelta(hours=1), block="1h", start=time(0), end="02:00"))  # schedule
"""

# Each line with a comment holds one call or use that both checkers must reject.
REJECTED = """\
# pyright: strict
import tariffsieve
from tariffsieve import get_cheapest_periods

get_cheapest_periods(("0.5", "9"), "0.5", 1, 1)  # a tuple of prices
get_cheapest_periods([0.5, 9.0], "0.5", 1, 1)  # float prices
get_cheapest_periods(["0.5", "9"], 0.5, 1, 1)  # a float threshold
get_cheapest_periods(["0.5", "9"], "0.5", 1.0, 1)  # a float count
get_cheapest_periods(["0.5", "9"], "0.5", 1, None)  # None for a count
get_cheapest_periods(["0.5", "9"], "0.5", 1, 1, aggressive=1)  # an int for the switch
get_cheapest_periods(["0.5", "9"], "0.5", 1)  # a required argument missing
get_cheapest_periods(["0.5", "9"], "0.5", 1, 1, 0, 0, True, 0)  # eight arguments
get_cheapest_periods(["0.5", "9"], "0.5", 1, 1, max_gap=2)  # an unknown keyword
as_text: str = get_cheapest_periods(["0.5", "9"], "0.5", 1, 1)  # the result is a list
as_flags: list[bool] = get_cheapest_periods(["0.5", "9"], "0.5", 1, 1)  # of int
tariffsieve.get_cheapest_period  # no such attribute
tariffsieve.plan_totals(["0.5", "9"], "0.5", 1, 1)[1] + 1  # a total is text
as_number: float = tariffsieve.plan_totals(["0.5", "9"], "0.5", 1, 1)[2]  # an average may be None
from tariffsieve_schedule import schedule
schedule([], total=3)  # a number for a duration
schedule([], total="1h", start=3)  # a number for a window's start
"""

STUB = "tariffsieve-stubs/__init__.pyi"
SIGNATURE = ("(prices: {list}[{str}], low_price_threshold: {str}, min_selections: {int}, "
             "min_consecutive_periods: {int}, max_gap_between_periods: {int} ={d0}, "
             "max_gap_from_start: {int} ={d0}, aggressive: {bool} ={dtrue}) -> {list}[{int}]")
# mypy shows no default values, and older releases name builtins in full.
MYPY_REVEALS = {
    "signature": "def " + SIGNATURE.format(list="list", str="str", int="int", bool="bool", d0="", dtrue=""),
    "all": "list[str]",
    "result": "list[int]",
    "totals average": "str | None",
    "totals runs": "list[tuple[int, int, str, str]]",
    "schedule": "tariffsieve_schedule.result.Schedule",
}
PYRIGHT_REVEALS = {
    "signature": SIGNATURE.format(list="list", str="str", int="int", bool="bool", d0=" 0", dtrue=" True"),
    "all": "list[str]",
    "result": "list[int]",
    "totals average": "str | None",
    "totals runs": "list[tuple[int, int, str, str]]",
    "schedule": "Schedule",
}


@pytest.fixture(scope="module")
def callers(tmp_path_factory):
    folder = tmp_path_factory.mktemp("callers")
    (folder / "accepted.py").write_text(ACCEPTED)
    (folder / "rejected.py").write_text(REJECTED)
    return folder


def comments(source):
    """The comment at the end of each line that has code before it, by 1-based line number."""
    found = {}
    for number, line in enumerate(source.splitlines(), start=1):
        code, _, comment = line.partition("  # ")
        if code.strip() and comment:
            found[number] = comment
    return found


def run_mypy(folder, python):
    proc = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--python-executable", str(python), "--no-error-summary",
         "--no-color-output", "--no-pretty", "--show-error-codes", "--cache-dir", str(folder / ".mypy_cache"),
         "accepted.py", "rejected.py"],
        cwd=folder, capture_output=True, text=True, timeout=600)
    assert proc.returncode in (0, 1), proc.stderr
    diagnostics = []
    for line in proc.stdout.splitlines():
        match = re.match(r"^(.+?):(\d+): (error|note): (.*)$", line)
        assert match, f"unexpected mypy output: {line}"
        file, number, severity, message = match.groups()
        # Some releases add notes that point into the stub.
        if file in ("accepted.py", "rejected.py"):
            diagnostics.append((file, int(number), severity, message.replace("builtins.", "")))
    return diagnostics


def run_pyright(folder, python):
    # The wrapper would otherwise ask the package index for a newer release.
    env = dict(os.environ, PYRIGHT_PYTHON_IGNORE_WARNINGS="1")
    proc = subprocess.run(
        [sys.executable, "-m", "pyright", "--outputjson", "--pythonpath", str(python), "accepted.py", "rejected.py"],
        cwd=folder, capture_output=True, text=True, env=env, timeout=600)
    assert proc.returncode in (0, 1), proc.stdout + proc.stderr
    report = json.loads(proc.stdout)
    diagnostics = []
    for d in report["generalDiagnostics"]:
        severity = {"information": "note"}.get(d["severity"], d["severity"])
        line = d["range"]["start"]["line"] + 1  # pyright counts from 0
        diagnostics.append((os.path.basename(d["file"]), line, severity, d["message"]))
    return diagnostics


CHECKERS = {"mypy": (run_mypy, MYPY_REVEALS, r'Revealed type is "(.*)"'),
            "pyright": (run_pyright, PYRIGHT_REVEALS, r'Type of ".*" is "(.*)"')}


@pytest.fixture(scope="module", params=sorted(CHECKERS))
def checked(request, callers):
    run_checker, reveals, reveal_pattern = CHECKERS[request.param]
    dist = built_distribution()
    return run_checker(callers, dist.python), reveals, reveal_pattern


def test_checker_knows_the_exact_signature_and_all(checked):
    diagnostics, reveals, reveal_pattern = checked
    on_accepted = [d for d in diagnostics if d[0] == "accepted.py"]
    assert [d for d in on_accepted if d[2] != "note"] == [], "a correct caller was not accepted"
    revealed = {}
    for _, number, _, message in on_accepted:
        match = re.match(reveal_pattern, message)
        assert match, message
        revealed[comments(ACCEPTED)[number]] = match.group(1)
    assert revealed == reveals


def test_checker_rejects_each_wrong_call(checked):
    diagnostics, _, _ = checked
    expected = comments(REJECTED)
    flagged = {number for file, number, severity, _ in diagnostics if file == "rejected.py" and severity == "error"}
    missed = {number: why for number, why in expected.items() if number not in flagged}
    assert missed == {}, "calls the checker let through"
    assert flagged <= set(expected), "correct lines flagged"


def test_stub_agrees_with_the_module():
    # stubtest imports the module and compares names, parameters, defaults and
    # __all__ with the stub that mypy finds beside it in this environment.
    files = importlib.metadata.files("tariffsieve") if installed() else None
    if not files or not any(str(f).replace("\\", "/") == STUB for f in files):
        pytest.skip("tariffsieve here was not installed from its wheel")
    proc = subprocess.run([sys.executable, "-m", "mypy.stubtest", "--concise", "tariffsieve"],
                          capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def installed():
    try:
        importlib.metadata.distribution("tariffsieve")
    except importlib.metadata.PackageNotFoundError:
        return False
    return True
