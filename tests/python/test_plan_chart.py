"""The plan-drawing example on the bundled sample day: the terminal chart marks
exactly the periods the module chooses, and the PNG highlights them."""
import csv
import os
import re
import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import pytest

import tariffsieve

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
SCRIPT = EXAMPLES / "plan_chart.py"
SAMPLE = EXAMPLES / "sample_day.csv"
# The script's default rules.
RULES = dict(low_price_threshold="0.0750", min_selections=6, min_consecutive_periods=2,
             max_gap_between_periods=8, max_gap_from_start=4)


def run_script(*args, cwd, env=None, check=True):
    proc = subprocess.run([sys.executable, str(SCRIPT), *map(str, args)], cwd=cwd, env=env,
                          capture_output=True, text=True, timeout=300)
    if check:
        assert proc.returncode == 0, proc.stderr
    return proc


def sample_day():
    with open(SAMPLE, newline="") as f:
        rows = list(csv.reader(f))[1:]
    return [label for label, _ in rows], [price for _, price in rows]


def chart_lines(output, count):
    """The chart: the lines after the first blank one."""
    lines = output.splitlines()
    start = lines.index("") + 1
    return lines[start:start + count]


def chart_rows(output, count):
    """(flag, label, price, bar) of each chart row."""
    return [(line[0], *line[2:].split(maxsplit=2)) for line in chart_lines(output, count)]


@pytest.mark.parametrize("aggressive", [True, False])
def test_chart_marks_exactly_the_chosen_periods(aggressive, tmp_path):
    labels, prices = sample_day()
    args = ["--no-png"] + ([] if aggressive else ["--conservative"])
    output = run_script(*args, cwd=tmp_path).stdout
    chosen = tariffsieve.get_cheapest_periods(prices, aggressive=aggressive, **RULES)

    rows = chart_rows(output, len(prices))
    assert [(label, price) for _, label, price, _ in rows] == list(zip(labels, prices))
    assert [i for i, row in enumerate(rows) if row[0] == "*"] == chosen
    assert [i for i, row in enumerate(rows) if "#" in row[3]] == chosen
    assert all(set(row[3]) <= {"-", "|", " "} for i, row in enumerate(rows) if i not in chosen)

    # The threshold stands in one column; only prices above it reach past it.
    threshold = Decimal(RULES["low_price_threshold"])
    assert len({line.index("|") for line in chart_lines(output, len(prices))}) == 1
    for _, _, price, bar in rows:
        crosses = not bar.rstrip().endswith("|")
        assert crosses == (Decimal(price) > threshold), (price, bar)

    total = sum(Decimal(prices[i]) for i in chosen)
    lines = output.splitlines()
    assert lines[-1].startswith(f"{len(chosen)} periods")
    assert f"total {total}, average {total / len(chosen):.4f}" in lines[-1]
    assert not list(tmp_path.iterdir()), "--no-png wrote a file"


def test_longer_bars_for_higher_prices(tmp_path):
    _, prices = sample_day()
    rows = chart_rows(run_script("--no-png", cwd=tmp_path).stdout, len(prices))
    by_price = sorted(rows, key=lambda row: Decimal(row[2]))
    lengths = [len(row[3].rstrip()) for row in by_price]
    assert lengths == sorted(lengths)
    assert lengths[0] < lengths[-1]


def test_png_highlights_the_chosen_periods(tmp_path):
    image = pytest.importorskip("matplotlib.image")
    _, prices = sample_day()
    run_script("--png", tmp_path / "plan.png", cwd=tmp_path)
    pixels = image.imread(tmp_path / "plan.png")[:, :, :3]
    chosen = tariffsieve.get_cheapest_periods(prices, **RULES)

    def matches(colour, tolerance):
        rgb = [int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5)]
        return (abs(pixels - rgb) < tolerance).all(axis=2)

    # The dashed threshold line is drawn smoothed: its colour only comes near.
    highlighted, threshold = matches("#d9480f", 0.02), matches("#1971c2", 0.2)
    # The lowest pixel row that shows every bar runs through each chosen bar
    # once; the legend's patch sits higher up.
    rows = [y for y in range(pixels.shape[0]) if highlighted[y].any()]
    bottom = highlighted[max(rows) - 2]
    runs = sum(1 for x in range(1, len(bottom)) if bottom[x] and not bottom[x - 1])
    assert runs == len(chosen)
    assert threshold.sum(axis=1).max() > pixels.shape[1] / 3, "no threshold line across the plot"


def test_png_by_default_beside_the_user(tmp_path):
    pytest.importorskip("matplotlib")
    output = run_script(cwd=tmp_path).stdout
    assert (tmp_path / "sample_day-plan.png").read_bytes().startswith(b"\x89PNG\r\n\x1a\n")
    assert output.splitlines()[-1] == "plot written to sample_day-plan.png"


def test_without_matplotlib_the_chart_still_prints(tmp_path):
    hidden = tmp_path / "hidden"
    (hidden / "matplotlib").mkdir(parents=True)
    (hidden / "matplotlib" / "__init__.py").write_text("raise ImportError('not installed')\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(filter(None, [str(hidden), os.environ.get("PYTHONPATH")])))
    work = tmp_path / "work"
    work.mkdir()

    proc = run_script(cwd=work, env=env)
    assert "* 13:00" in proc.stdout
    assert proc.stdout.splitlines()[-1] == "(matplotlib is not installed: no PNG written)"
    assert not list(work.iterdir())

    asked = run_script("--png", work / "plan.png", cwd=work, env=env, check=False)
    assert asked.returncode != 0
    assert "needs matplotlib" in asked.stderr


def test_help_lists_the_rules(tmp_path):
    text = run_script("--help", cwd=tmp_path).stdout
    for option in ("--low-price-threshold", "--min-selections", "--min-consecutive-periods",
                   "--max-gap-between-periods", "--max-gap-from-start", "--conservative", "--png", "--no-png"):
        assert option in text


@pytest.mark.parametrize("content, args, message", [
    ("hour,price\n00:00,0.1\n01:00,cheap\n", [], "Invalid decimal"),
    ("hour,price\n00:00,0.1\n01:00,0.2\n", ["-n", "3"], "min_selections cannot be greater than total number of items"),
    ("hour,price\n", [], "no price rows"),
    ("hour,price\n00:00\n", [], "expected 'label,price'"),
])
def test_bad_input_is_reported(content, args, message, tmp_path):
    (tmp_path / "day.csv").write_text(content)
    proc = run_script("day.csv", "--no-png", *args, cwd=tmp_path, check=False)
    assert proc.returncode == 1
    assert message in proc.stderr
    assert proc.stdout == ""


TWO_DAYS = EXAMPLES / "sample_two_days_15min.csv"
# A heat pump on quarter hours: 4 hours a day in blocks of at least an hour, off for at most 8 hours.
HEAT_PUMP = dict(low_price_threshold="0.0500", min_selections=32, min_consecutive_periods=4,
                 max_gap_between_periods=32, max_gap_from_start=32)
needs_plan = pytest.mark.skipif(not hasattr(tariffsieve, "plan"), reason="this build of tariffsieve has no plan yet")


def heat_pump_args(aggressive):
    return [TWO_DAYS, "--no-png", "-t", "0.0500", "-n", 32, "-c", 4, "-g", 32, "-s", 32] + \
        ([] if aggressive else ["--conservative"])


def grid_cells(output):
    """[(label, [(chosen, price, cheap), ...]), ...] of the rows of a chart with several periods a row."""
    lines = output.splitlines()
    start = lines.index("") + 2  # past the column heads
    rows = []
    for line in lines[start:lines.index("", start)]:
        label, cells = line[2:].split(maxsplit=1)
        rows.append((line[0], label, [(mark == "#", price, cheap == "<")
                                      for mark, price, cheap in re.findall(r"(#?) *(-?[\d_.]+)(<?)", cells)]))
    return rows


@pytest.mark.parametrize("csv_path, args, rules, per_row", [
    (SAMPLE, ["--per-row", 4], RULES, 4),
    pytest.param(TWO_DAYS, heat_pump_args(True)[1:], dict(HEAT_PUMP, aggressive=True), 4, marks=needs_plan),
    pytest.param(TWO_DAYS, heat_pump_args(False)[1:], dict(HEAT_PUMP, aggressive=False), 4, marks=needs_plan),
])
def test_rows_of_several_periods_mark_exactly_the_chosen_ones(csv_path, args, rules, per_row, tmp_path):
    with open(csv_path, newline="") as f:
        labels, prices = zip(*list(csv.reader(f))[1:])
    output = run_script(csv_path, "--no-png", *args, cwd=tmp_path).stdout
    plan = tariffsieve.get_cheapest_periods if len(prices) <= 28 else tariffsieve.plan
    chosen = plan(list(prices), **rules)

    rows = grid_cells(output)
    assert [label for _, label, _ in rows] == list(labels[::per_row])
    cells = [cell for _, _, row in rows for cell in row]
    assert [price for _, price, _ in cells] == list(prices)
    assert [i for i, cell in enumerate(cells) if cell[0]] == chosen
    threshold = Decimal(rules["low_price_threshold"])
    assert [cheap for _, _, cheap in cells] == [Decimal(p) <= threshold for p in prices]
    assert [flag == "*" for flag, _, _ in rows] == [any(cell[0] for cell in row) for _, _, row in rows]
    assert output.splitlines()[-1].startswith(f"{len(chosen)} periods (")


@needs_plan
def test_quarter_hour_columns_and_the_png_of_a_long_plan(tmp_path):
    image = pytest.importorskip("matplotlib.image")
    output = run_script(*heat_pump_args(True)[:1], *heat_pump_args(True)[2:], "--png", tmp_path / "plan.png",
                        cwd=tmp_path).stdout
    assert output.splitlines()[3].split() == [":00", ":15", ":30", ":45"]
    _, prices = zip(*list(csv.reader(TWO_DAYS.open()))[1:])
    chosen = tariffsieve.plan(list(prices), **HEAT_PUMP)
    blocks = sum(1 for i, period in enumerate(chosen) if i == 0 or chosen[i - 1] != period - 1)

    # Each block of chosen periods is shaded; the shade shows below the lowest
    # bar, just above the frame's bottom edge.
    pixels = image.imread(tmp_path / "plan.png")[:, :, :3]
    shaded = (abs(pixels - [0xff / 255, 0xe8 / 255, 0xcc / 255]) < 0.02).all(axis=2)
    frame = (pixels < 0.15).all(axis=2).sum(axis=1) > pixels.shape[1] / 2
    bottom = max(y for y in range(len(frame)) if frame[y])
    row = shaded[bottom - 3]
    assert sum(1 for x in range(1, len(row)) if row[x] and not row[x - 1]) == blocks
