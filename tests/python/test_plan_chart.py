"""The plan-drawing example: it prints what tariffsieve-plan prints and draws
the same plan as a PNG, with the chosen periods highlighted."""
import os
import subprocess
import sys
from pathlib import Path

import pytest

import tariffsieve
from cli_command import command, environment

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
SCRIPT = EXAMPLES / "plan_chart.py"
SAMPLE = EXAMPLES / "sample_day.csv"
TWO_DAYS = EXAMPLES / "sample_two_days_15min.csv"
# A water heater on the hourly sample day, and what plan makes of it.
HEATER = ["--run", "6h", "--block", "2h", "--max-off", "8h", "--start-within", "4h", "--cheap", "0.0750"]
HEATER_RULES = dict(low_price_threshold="0.0750", min_selections=6, min_consecutive_periods=2,
                    max_gap_between_periods=8, max_gap_from_start=4)
# A heat pump on both days of quarter hours.
HEAT_PUMP = ["--run", "8h", "--block", "1h", "--max-off", "8h", "--cheap", "0.0500"]
HEAT_PUMP_RULES = dict(low_price_threshold="0.0500", min_selections=32, min_consecutive_periods=4,
                       max_gap_between_periods=32, max_gap_from_start=32)


def run_script(*args, cwd, env=None, check=True):
    proc = subprocess.run([sys.executable, str(SCRIPT), *map(str, args)], cwd=cwd, env=environment(env),
                          capture_output=True, text=True, timeout=300)
    if check:
        assert proc.returncode == 0, proc.stderr
    return proc


def prices_of(path):
    return [line.split(",")[1] for line in path.read_text().splitlines()[1:]]


def test_prints_what_the_command_prints(tmp_path):
    for args in ([SAMPLE, *HEATER], [TWO_DAYS, *HEAT_PUMP, "--strategy", "cheap-periods"]):
        script = run_script(*args, "--no-png", cwd=tmp_path).stdout
        assert script == subprocess.run([*command(), *map(str, args)], capture_output=True, text=True,
                                        env=environment(), check=True, timeout=300).stdout
    assert not list(tmp_path.iterdir()), "--no-png wrote a file"


def test_png_highlights_the_chosen_periods(tmp_path):
    image = pytest.importorskip("matplotlib.image")
    run_script(SAMPLE, *HEATER, "--png", tmp_path / "plan.png", cwd=tmp_path)
    pixels = image.imread(tmp_path / "plan.png")[:, :, :3]
    chosen = tariffsieve.get_cheapest_periods(prices_of(SAMPLE), **HEATER_RULES)

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
    output = run_script(SAMPLE, *HEATER, cwd=tmp_path).stdout
    assert (tmp_path / "sample_day-plan.png").read_bytes().startswith(b"\x89PNG\r\n\x1a\n")
    assert output.splitlines()[-1] == "plot written to sample_day-plan.png"


def test_without_matplotlib_the_chart_still_prints(tmp_path):
    hidden = tmp_path / "hidden"
    (hidden / "matplotlib").mkdir(parents=True)
    (hidden / "matplotlib" / "__init__.py").write_text("raise ImportError('not installed')\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(filter(None, [str(hidden), os.environ.get("PYTHONPATH")])))
    work = tmp_path / "work"
    work.mkdir()

    proc = run_script(SAMPLE, *HEATER, cwd=work, env=env)
    assert "* 13:00" in proc.stdout
    assert proc.stdout.splitlines()[-1] == "(matplotlib is not installed: no PNG written)"
    assert not list(work.iterdir())

    asked = run_script(SAMPLE, *HEATER, "--png", work / "plan.png", cwd=work, env=env, check=False)
    assert asked.returncode != 0
    assert "needs matplotlib" in asked.stderr


def test_bad_input_is_one_line_and_status_2(tmp_path):
    (tmp_path / "day.csv").write_text("hour,price\n2026-04-10T00:00,0.1\n2026-04-10T01:00,cheap\n")
    proc = run_script("day.csv", "--run", "1h", cwd=tmp_path, check=False)
    assert (proc.returncode, proc.stdout) == (2, "")
    assert proc.stderr == "tariffsieve-plan: error: day.csv, line 3: the price 'cheap' is not a decimal number\n"


def test_long_plan_shades_each_chosen_block(tmp_path):
    image = pytest.importorskip("matplotlib.image")
    run_script(TWO_DAYS, *HEAT_PUMP, "--png", tmp_path / "plan.png", cwd=tmp_path)
    chosen = tariffsieve.plan(prices_of(TWO_DAYS), **HEAT_PUMP_RULES)
    blocks = sum(1 for i, period in enumerate(chosen) if i == 0 or chosen[i - 1] != period - 1)

    # Each block of chosen periods is shaded; the shade shows below the lowest
    # bar, just above the frame's bottom edge.
    pixels = image.imread(tmp_path / "plan.png")[:, :, :3]
    shaded = (abs(pixels - [0xff / 255, 0xe8 / 255, 0xcc / 255]) < 0.02).all(axis=2)
    frame = (pixels < 0.15).all(axis=2).sum(axis=1) > pixels.shape[1] / 2
    bottom = max(y for y in range(len(frame)) if frame[y])
    row = shaded[bottom - 3]
    assert sum(1 for x in range(1, len(row)) if row[x] and not row[x - 1]) == blocks
