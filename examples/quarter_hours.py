"""Plan loads on two days of quarter-hour electricity prices with tariffsieve.plan.

Usage: python3 examples/quarter_hours.py [prices.csv]

The CSV has a header line and rows of "timestamp,price": an ISO local time
(2026-04-11T13:45) and the price of the quarter hour that starts then, as
decimal text in EUR/kWh. The bundled sample_two_days_15min.csv is read when no
file is named.
"""
import csv
import sys
from datetime import datetime, timedelta
from decimal import Decimal
from pathlib import Path

import tariffsieve

SAMPLE = Path(__file__).with_name("sample_two_days_15min.csv")
QUARTER = timedelta(minutes=15)
CHEAP = "0.0500"  # EUR/kWh: at or below this a quarter hour counts as cheap

# The rules count periods, so hours become quarter hours: a heat pump runs
# 4 hours a day (16 quarter hours per 96), in blocks of at least 1 hour (4),
# and never stays off for more than 8 hours (32), from the start of the
# series either.
HEAT_PUMP_HOURS_A_DAY, HEAT_PUMP_BLOCK, HEAT_PUMP_MAX_OFF = 4, 4, 32


def read_prices(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))[1:]
    return [datetime.fromisoformat(stamp) for stamp, _ in rows], [price for _, price in rows]


def blocks(indices):
    """Split ascending indices into runs of consecutive ones."""
    runs = []
    for i in indices:
        if runs and runs[-1][-1] == i - 1:
            runs[-1].append(i)
        else:
            runs.append([i])
    return runs


def clock_range(start, end):
    """'Sat 11:15-13:00', 'Sat 23:00-24:00' or 'Sat 22:00-Sun 01:30'."""
    if end.date() == start.date():
        return f"{start:%a %H:%M}-{end:%H:%M}"
    if end == datetime.combine(start.date() + timedelta(days=1), datetime.min.time()):
        return f"{start:%a %H:%M}-24:00"
    return f"{start:%a %H:%M}-{end:%a %H:%M}"


def show(title, times, prices, chosen):
    print(f"  {title}:")
    for run in blocks(chosen):
        print(f"    {clock_range(times[run[0]], times[run[-1]] + QUARTER):<22} {len(run) / 4:5.2f} h")
    total = sum(Decimal(prices[i]) for i in chosen)
    cheap = sum(1 for i in chosen if Decimal(prices[i]) <= Decimal(CHEAP))
    print(f"    {len(chosen)} quarter hours ({len(chosen) / 4:g} h), {cheap} cheap, "
          f"total {total} EUR/kWh, average {total / len(chosen):.5f} EUR/kWh")


def plan_heat_pump(times, prices):
    need = HEAT_PUMP_HOURS_A_DAY * 4 * len(prices) // 96
    print(f"Heat pump: {HEAT_PUMP_HOURS_A_DAY} hours a day, so {need} of the {len(prices)} quarter hours, "
          f"in blocks of at least {HEAT_PUMP_BLOCK}, never off for more than {HEAT_PUMP_MAX_OFF} in a row")
    for aggressive, title in [(True, "lowest average price"), (False, "most cheap quarter hours")]:
        chosen = tariffsieve.plan(prices, CHEAP, need, HEAT_PUMP_BLOCK, HEAT_PUMP_MAX_OFF, HEAT_PUMP_MAX_OFF,
                                  aggressive=aggressive)
        show(title, times, prices, chosen)


def plan_car(times, prices):
    # A plan with a deadline: slice the series to the window, plan the slice,
    # and shift its indices back. With both gap limits as long as the window
    # the charge may start and end anywhere inside it.
    start = datetime.combine(times[0].date(), datetime.min.time()).replace(hour=18)
    deadline = start + timedelta(hours=13)
    first, end = times.index(start), times.index(deadline)
    window = prices[first:end]
    print(f"\nCar: charge 3 hours (12 quarter hours) in blocks of at least 1 hour, "
          f"between {start:%a %H:%M} and {deadline:%a %H:%M} ({len(window)} quarter hours)")
    chosen = [first + i for i in tariffsieve.plan(window, CHEAP, 12, 4, len(window), len(window))]
    show("cheapest", times, prices, chosen)


def main():
    path = Path(sys.argv[1]) if len(sys.argv) > 1 else SAMPLE
    times, prices = read_prices(path)
    low, high = min(prices, key=Decimal), max(prices, key=Decimal)
    print(f"{path.name}: {len(prices)} quarter-hour prices from {times[0]:%a %Y-%m-%d %H:%M} to "
          f"{times[-1]:%a %Y-%m-%d %H:%M}, {low} to {high} EUR/kWh; cheap at or below {CHEAP}\n")
    plan_heat_pump(times, prices)
    plan_car(times, prices)


if __name__ == "__main__":
    main()
