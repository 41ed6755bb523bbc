"""The README tells the truth: its Python sessions give the answers shown, its
timing-rule pictures are valid exactly as far as it says, and the plan chart
it shows is what the example prints."""
import ast
import doctest
import re
import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import pytest

import tariffsieve
from cli_command import environment

ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text()


def test_python_sessions_give_the_answers_shown():
    # The ```python blocks that hold sessions, run in order in one namespace.
    sessions = "\n".join(b for b in re.findall(r"```python\n(.*?)```", README, re.S) if ">>>" in b)
    test = doctest.DocTestParser().get_doctest(sessions, {}, "README.md", str(ROOT / "README.md"), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert len(test.examples) >= 5
    assert runner.failures == 0


def accepts(pattern, **rules):
    """Whether the selection drawn in pattern ('#' selected) obeys the rules:
    priced 0 among periods priced 100, it is then the one answer."""
    cells = pattern.split()
    selected = [i for i, cell in enumerate(cells) if cell == "#"]
    prices = ["0" if i in selected else "100" for i in range(len(cells))]
    return tariffsieve.get_cheapest_periods(prices, "-1", len(selected), **rules) == selected


# Each picture: the rules under which the README calls it valid, and the one
# rule, one step tighter, under which it is not.
PICTURES = [
    (".  #  #  #  .  .  #  #  .  #",
     dict(min_consecutive_periods=2, max_gap_between_periods=2, max_gap_from_start=1), "min_consecutive_periods", 3),
    ("#  #  .  .  .  #  #  .  .  .",
     dict(min_consecutive_periods=2, max_gap_between_periods=3, max_gap_from_start=0), "max_gap_between_periods", 2),
    (".  .  #  #  .  #  #  .  #  #",
     dict(min_consecutive_periods=2, max_gap_between_periods=2, max_gap_from_start=2), "max_gap_from_start", 1),
]


@pytest.mark.parametrize("pattern, rules, tightened, value", PICTURES)
def test_timing_rule_pictures(pattern, rules, tightened, value):
    assert f"period   0  1  2  3  4  5  6  7  8  9\n         {pattern}\n" in README
    assert accepts(pattern, **rules)
    assert not accepts(pattern, **dict(rules, **{tightened: value}))


def test_strategy_timeline_shows_the_answers():
    day = re.search(r">>> day = (\[.*?\])\n>>>", README, re.S).group(1)
    day = ast.literal_eval(day.replace("\n...", "\n"))
    timeline = re.search(r"```\n(hour .*?)```", README, re.S).group(1).splitlines()
    rows = {line.split()[0]: line for line in timeline}
    columns = [m.start() for m in re.finditer(r"\d\d", rows["hour"])]

    def marked(name, mark):
        line = rows[name].ljust(columns[-1] + 2)
        return [i for i, col in enumerate(columns) if line[col:col + 2].strip() == mark]

    assert len(columns) == len(day)
    assert marked("cheap", "c") == [i for i, p in enumerate(day) if Decimal(p) <= Decimal("0.0750")]
    for name, aggressive in (("aggressive", True), ("conservative", False)):
        assert marked(name, "#") == tariffsieve.get_cheapest_periods(day, "0.0750", 6, 2, 8, 4, aggressive=aggressive)


def test_plan_chart_is_what_the_example_prints(tmp_path):
    command, shown = re.search(r"```sh\n(python3 examples/plan_chart.py .*?)\n```\n\n```\n(.*?)```\n", README, re.S).groups()
    argv = [sys.executable, str(ROOT / "examples/plan_chart.py")] + \
        [str(ROOT / arg) if arg.startswith("examples/") else arg for arg in command.split()[2:]]
    printed = subprocess.run(argv, cwd=tmp_path, env=environment(), capture_output=True, text=True, check=True,
                             timeout=300).stdout
    assert printed == shown
