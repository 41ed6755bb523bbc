"""Plan a car's charge on a pandas Series of quarter-hour prices: 3 hours in
runs of at least an hour, between 18:00 on Saturday and 07:00 on Sunday."""
from datetime import time
from pathlib import Path

import pandas

from tariffsieve_schedule import schedule

table = pandas.read_csv(Path(__file__).with_name("sample_two_days_15min.csv"))
prices = pandas.Series(table.iloc[:, 1].astype(str).tolist(),
                       index=pandas.DatetimeIndex(pandas.to_datetime(table.iloc[:, 0])).tz_localize("Europe/Berlin"))
plan = schedule(prices, total="3h", block="1h", cheap="0.05", start=time(18), end=time(7))
for run in plan.runs:
    print(f"{run.start:%a %H:%M}-{run.end:%H:%M}  {run.periods} periods, average {run.average}")
print(f"total {plan.total}, average {plan.average}")
frame = plan.to_frame()
print(frame[frame["chosen"]].to_string())
