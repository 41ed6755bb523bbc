"""Answers of the two strategies through the Python call, on worked examples
whose reasoning is checked by hand."""
import subprocess
import sys
from pathlib import Path

import pytest
from tariffsieve import get_cheapest_periods as cheapest


def prices(text):
    return text.split()


@pytest.mark.parametrize(
    "series, threshold, counts, aggressive, expected",
    [
        # answered before any search
        ("1 2 3", "0", (3, 3, 0, 0), True, [0, 1, 2]),
        ("3 0.1 2", "0.10", (1, 1, 0, 0), False, [0, 1, 2]),
        ("1 1 0.5", "1", (1, 1, 0, 0), True, [0, 1, 2]),
        # aggressive: lowest average
        ("5 1 1 9 1", "1", (2, 1, 4, 4), True, [1, 2]),
        ("3 1 4 1 5", "1", (2, 2, 1, 1), True, [1, 2, 3]),
        ("9 1 1 9", "1", (2, 1, 1, 0), True, [0, 1, 2]),
        ("4 3 2 1", "0", (1, 1, 0, 0), True, [0, 1, 2, 3]),
        ("0.5 9 3 0.5 6 0.5", "0.5", (1, 1, 3, 3), True, [3]),
        # conservative: most cheap periods, then lowest cost
        ("5 1 1 9 0.5 0.5 7 2", "1", (2, 2, 2, 1), False, [1, 2, 4, 5]),
        ("0 4 0", "0", (1, 1, 1, 1), False, [0, 1, 2]),
        ("2 1 1 2", "0.5", (1, 1, 2, 2), False, [1]),
        ("0.3 5 0.1 1 0.2 9 2 0.2", "0.3", (2, 2, 3, 3), False, [2, 3, 4, 7]),
        ("0.3 9 0.3 9 9 0.3 1 1", "0.3", (2, 2, 3, 3), False, [2, 3, 4, 5]),
        ("0.5 9 3 0.5 6 0.5", "0.5", (1, 1, 3, 3), False, [0, 3, 5]),
        ("4 3 2 1", "0", (1, 1, 0, 0), False, [0, 1, 2, 3]),
    ],
)
def test_worked_examples(series, threshold, counts, aggressive, expected):
    assert cheapest(prices(series), threshold, *counts, aggressive) == expected


def test_exact_decimals_on_a_full_series():
    # 28 periods, the most accepted. 0.1 + 0.2 equals 0.15 + 0.15 exactly
    # (not in binary floating point), so the earlier pair wins the tie.
    series = ["0.3"] * 28
    series[10:12] = ["0.1", "0.2"]
    series[20:22] = ["0.15", "0.150"]
    assert cheapest(series, "0", 2, 2, 27, 27) == [10, 11]
    assert cheapest(series, "0", 2, 2, 27, 27, False) == [10, 11]


def test_example_script_runs():
    script = Path(__file__).parents[2] / "examples" / "cheapest_hours.py"
    out = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, check=True).stdout
    assert "Lowest average price:\n  02:00-04:00  0.0731  0.0718\n" in out
    assert "Most cheap hours:" in out and out.count(" hours, average ") == 2
