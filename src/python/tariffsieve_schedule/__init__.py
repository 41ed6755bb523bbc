"""tariffsieve_schedule: plan a load on prices with timestamps, with the
rules as durations and a window in time, and get runs in time back.

    from tariffsieve_schedule import schedule
    plan = schedule(prices, total="3h", block="1h", start="22:00", end="07:00")
    for run in plan.runs:
        print(run.start, run.end, run.average)

`prices` is a PriceSeries from tariffsieve_prices, text or bytes a price
source sent (CSV, JSON, ENTSO-E XML), a list of records, a sequence of
(datetime, price) pairs, a mapping of datetimes to prices, or a pandas Series
on a DatetimeIndex. Durations are timedeltas or text (3h, 45min, 1h30m), each
a whole number of the series' periods. `start` and `end` are datetimes,
clock times (datetime.time or "22:00": the next occurrence on the series'
clock) or ISO 8601 text; `start` may be "now". The engine,
tariffsieve.plan_totals, chooses the periods and computes every total and
average; every error is a ScheduleError (a ValueError) that names the
argument at fault in `field`.

`price_model=PriceModel(multiplier, add_on, vat, fees=FeeTable.load(path))`
plans on the prices paid, (spot × multiplier + add-on) × (1 + VAT) + the fee
at the period's clock time; `billing="hourly"` plans whole clock hours, each
at the exact average of its periods."""
from tariffsieve_schedule.core import STRATEGIES, schedule
from tariffsieve_schedule.durations import describe, seconds_of
from tariffsieve_schedule.errors import (BillingError, DurationError, PriceError, RuleError, ScheduleError,
                                         TariffError, WindowError)
from tariffsieve_schedule.fees import FeeBand, FeeTable, Season, read_fees
from tariffsieve_schedule.result import Request, Run, Schedule, Window, decimal_text, iso_text
from tariffsieve_schedule.tariff import PriceModel

__all__ = ["schedule", "Schedule", "Run", "Window", "Request", "ScheduleError", "DurationError", "WindowError",
           "RuleError", "PriceError", "STRATEGIES", "decimal_text", "iso_text", "describe",
           "seconds_of", "PriceModel", "FeeTable", "FeeBand", "Season", "read_fees", "TariffError", "BillingError"]
