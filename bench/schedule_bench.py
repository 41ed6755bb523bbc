"""What tariffsieve_schedule.schedule adds to the engine: one whole call of
schedule (a window given as clock times, durations as text, the answer as
frozen runs) beside plan_totals and plan on the same window's prices, at 96
and 192 quarter hours, on a series read once (as a long-running program
holds it) and from CSV text each time (as a one-off call reads it).

Run after installing the package: python bench/schedule_bench.py [seconds]
Target: schedule on a read series within a small multiple of plan itself.
"""
import sys
import timeit
from datetime import datetime, timedelta, timezone

import tariffsieve
from tariffsieve_prices import read_prices
from tariffsieve_schedule import schedule

START = datetime(2026, 4, 11, tzinfo=timezone(timedelta(hours=2)))


def prices_of(count):
    """A day-like series: cheap at night and midday, dear in the evening."""
    return [f"0.{(37 * i * i + 11 * i) % 900 + 50:04d}" for i in range(count)]


def per_call(call, seconds):
    number, _ = timeit.Timer(call).autorange()
    runs = max(3, int(seconds / 0.2))
    return min(timeit.Timer(call).repeat(repeat=runs, number=number)) / number


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 2.0
    print(f"Per call, best of repeats (Python {sys.version.split()[0]}):")
    print(f"{'periods':>8}  {'window':>7}  {'plan':>9}  {'plan_totals':>11}  {'schedule':>9}  {'ratio':>5}  "
          f"{'from CSV':>9}")
    # A day: 06:00 to 19:00; two days: the night between them, 18:00 to 07:00. 52 quarter hours each.
    for count, (start, until, first) in ((96, ("06:00", "19:00", 24)), (192, ("18:00", "07:00", 72))):
        prices = prices_of(count)
        text = "start,price\n" + "".join(f"{(START + timedelta(minutes=15 * i)).isoformat()},{p}\n"
                                         for i, p in enumerate(prices))
        series = read_prices(text)
        end = first + 52
        window = prices[first:end]
        rules = ("0.0300", 12, 4, 32, 32)
        plan = per_call(lambda: tariffsieve.plan(window, *rules), seconds)
        totals = per_call(lambda: tariffsieve.plan_totals(window, *rules), seconds)
        timed = per_call(lambda: schedule(series, total="3h", block="1h", max_off="8h", cheap="0.0300",
                                          start=start, end=until), seconds)
        read = per_call(lambda: schedule(text, total="3h", block="1h", max_off="8h", cheap="0.0300",
                                         start=start, end=until), seconds)
        print(f"{count:>8}  {end - first:>7}  {plan * 1e6:>7.1f}us  {totals * 1e6:>9.1f}us  {timed * 1e6:>7.1f}us  "
              f"{timed / plan:>5.1f}  {read * 1e6:>7.0f}us")


if __name__ == "__main__":
    main()
