"""Plan a water heater's running hours on a sample day of electricity prices.

Usage: python3 examples/cheapest_hours.py [prices.csv]

The CSV has a header line and rows of "timestamp,price": an ISO local time
(2026-04-10T13:00) and the price of the hour that starts then, as decimal text.
"""
import csv
import sys
from decimal import Decimal
from pathlib import Path

import tariffsieve

# The heater must run at least 6 hours, 2 or more hours at a time, must not
# stay off for more than 8 hours in a row, and must start within 4 hours.
RULES = dict(min_selections=6, min_consecutive_periods=2, max_gap_between_periods=8, max_gap_from_start=4)
CHEAP = "0.0750"  # EUR/kWh: at or below this an hour counts as cheap


def read_prices(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))[1:]
    # "2026-04-10T13:00" -> "13:00"
    return [stamp[11:16] for stamp, _ in rows], [price for _, price in rows]


def blocks(indices):
    """Split ascending indices into runs of consecutive ones."""
    runs = []
    for i in indices:
        if runs and runs[-1][-1] == i - 1:
            runs[-1].append(i)
        else:
            runs.append([i])
    return runs


def show(title, hours, prices, chosen):
    print(f"{title}:")
    for run in blocks(chosen):
        end = hours[run[-1] + 1] if run[-1] + 1 < len(hours) else "24:00"
        print(f"  {hours[run[0]]}-{end}  " + "  ".join(prices[i] for i in run))
    average = sum(Decimal(prices[i]) for i in chosen) / len(chosen)
    print(f"  {len(chosen)} hours, average {average:.4f} EUR/kWh\n")


def main():
    path = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("sample_day.csv")
    hours, prices = read_prices(path)
    low, high = min(prices, key=Decimal), max(prices, key=Decimal)
    print(f"{path.name}: {len(prices)} hourly prices from {low} to {high} EUR/kWh, cheap at or below {CHEAP}\n")
    for aggressive, title in [(True, "Lowest average price"), (False, "Most cheap hours")]:
        chosen = tariffsieve.get_cheapest_periods(prices, CHEAP, aggressive=aggressive, **RULES)
        show(title, hours, prices, chosen)


if __name__ == "__main__":
    main()
