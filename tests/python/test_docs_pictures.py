"""The manual's pictures tell the truth: the timing rules' pictures are valid
exactly as far as the rules page says, the strategies' timeline marks the
module's answers, and the plan chart is what the example prints."""
import ast
import re
import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import pytest

import tariffsieve
from cli_command import environment

from doc_pages import ROOT, page_text

RULES = page_text("docs/rules.md")
COMMAND_LINE = page_text("docs/command-line.md")


def accepts(pattern, **rules):
    """Whether the selection drawn in pattern ('#' selected) obeys the rules:
    priced 0 among periods priced 100, it is then the one answer."""
    cells = pattern.split()
    selected = [i for i, cell in enumerate(cells) if cell == "#"]
    prices = ["0" if i in selected else "100" for i in range(len(cells))]
    return tariffsieve.get_cheapest_periods(prices, "-1", len(selected), **rules) == selected


# Each picture: the rules under which the rules page calls it valid, and the one
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
    assert f"period   0  1  2  3  4  5  6  7  8  9\n         {pattern}\n" in RULES
    assert accepts(pattern, **rules)
    assert not accepts(pattern, **dict(rules, **{tightened: value}))


def test_strategy_timeline_shows_the_answers():
    day = re.search(r">>> day = (\[.*?\])\n>>>", RULES, re.S).group(1)
    day = ast.literal_eval(day.replace("\n...", "\n"))
    timeline = re.search(r"```\n(hour .*?)```", RULES, re.S).group(1).splitlines()
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
    command, shown = re.search(r"```sh\n(python3 examples/plan_chart.py .*?)\n```\n\n```\n(.*?)```\n", COMMAND_LINE, re.S).groups()
    argv = [sys.executable, str(ROOT / "examples/plan_chart.py")] + \
        [str(ROOT / arg) if arg.startswith("examples/") else arg for arg in command.split()[2:]]
    printed = subprocess.run(argv, cwd=tmp_path, env=environment(), capture_output=True, text=True, check=True,
                             timeout=300).stdout
    assert printed == shown
