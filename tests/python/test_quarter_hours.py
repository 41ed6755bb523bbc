"""The quarter-hour example: the clock times it prints are the periods plan
chooses under the rules it states, and its sums are theirs."""
import csv
import re
import subprocess
import sys
from datetime import datetime, timedelta
from decimal import Decimal
from pathlib import Path

import pytest

import tariffsieve

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
pytestmark = pytest.mark.skipif(not hasattr(tariffsieve, "plan"), reason="this build of tariffsieve has no plan yet")


def test_the_printed_clock_times_are_the_plans(tmp_path):
    with open(EXAMPLES / "sample_two_days_15min.csv", newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["timestamp", "price"] and len(rows) == 193
    times = [datetime.fromisoformat(stamp) for stamp, _ in rows[1:]]
    prices = [price for _, price in rows[1:]]
    assert all(b - a == timedelta(minutes=15) for a, b in zip(times, times[1:]))
    assert any(Decimal(p) < 0 for p in prices)

    output = subprocess.run([sys.executable, str(EXAMPLES / "quarter_hours.py")], cwd=tmp_path,
                            capture_output=True, text=True, check=True, timeout=300).stdout
    days = {f"{t:%a}": t.date() for t in times}
    plans, title = {}, None
    for line in output.splitlines():
        if heading := re.fullmatch(r"  (\S.*):", line):
            title = heading.group(1)
            plans[title] = ([], None)
        elif span := re.match(r"    (\w{3}) (\d\d:\d\d)-(?:(\w{3}) )?(\d\d:\d\d) ", line):
            day, start, end_day, end = span.groups()
            first = times.index(datetime.fromisoformat(f"{days[day]}T{start}"))
            end_date = days[end_day or day] + timedelta(days=end == "24:00")
            finish = datetime.fromisoformat(f"{end_date}T{'00:00' if end == '24:00' else end}")
            plans[title][0].extend(range(first, first + (finish - times[first]) // timedelta(minutes=15)))
        elif title and line.startswith("    "):
            plans[title] = (plans[title][0], line.strip())

    car = list(range(72, 124))  # Saturday 18:00 to Sunday 07:00
    expected = {
        "lowest average price": tariffsieve.plan(prices, "0.0500", 32, 4, 32, 32, aggressive=True),
        "most cheap quarter hours": tariffsieve.plan(prices, "0.0500", 32, 4, 32, 32, aggressive=False),
        "cheapest": [car[i] for i in tariffsieve.plan(prices[72:124], "0.0500", 12, 4, 52, 52)],
    }
    assert {title: chosen for title, (chosen, _) in plans.items()} == expected
    assert set(expected["cheapest"]) <= set(car)
    for title, chosen in expected.items():
        total = sum(Decimal(prices[i]) for i in chosen)
        cheap = sum(Decimal(prices[i]) <= Decimal("0.0500") for i in chosen)
        assert plans[title][1] == (f"{len(chosen)} quarter hours ({len(chosen) / 4:g} h), {cheap} cheap, "
                                   f"total {total} EUR/kWh, average {total / len(chosen):.5f} EUR/kWh")
