# Hourly billing on finer prices: a meter read by the hour bills each clock
# hour at the average of its periods, so a plan for it chooses whole hours at
# those averages. An hour is a clock hour of the series' own clock with its
# UTC offset: on an autumn night the repeated 02:00 is two hours, each of its
# own periods; on a spring night there is no 02:00 at all.
from __future__ import annotations

from datetime import datetime, timedelta
from decimal import Context, Decimal, Inexact
from typing import Optional

from tariffsieve_prices import PriceSeries, describe_step
from tariffsieve_schedule.errors import BillingError

HOUR = timedelta(hours=1)
BILLINGS = (None, "hourly")
_EXACT = Context(prec=120, traps=[Inexact])


def _hour_of(moment: datetime) -> "tuple[datetime, Optional[timedelta]]":
    """The clock hour a period belongs to: its wall hour and UTC offset."""
    return moment.replace(minute=0, second=0, microsecond=0, tzinfo=None), moment.utcoffset()


def _per_hour(series: PriceSeries) -> int:
    """Periods in an hour: a whole number whose average of any decimals is a decimal
    again (a count of only twos and fives: 2, 4, 12 minutes' 5, ...), else refused."""
    count, rest = divmod(HOUR, series.resolution)
    left = count
    for factor in (2, 5):
        while left and left % factor == 0:
            left //= factor
    if rest or not count or left != 1:
        raise BillingError("{name}: the series has a period every {every}, which does not average exactly "
                           "into hours (15min, 30min or 1h do)", "billing", "not_hourly",
                           every=describe_step(series.resolution))
    return count


def _average(series: PriceSeries, first: int, count: int) -> str:
    total = sum((Decimal(price) for price in series.prices[first:first + count]), Decimal(0))
    average = (total / count).normalize(_EXACT) if total else Decimal(0)
    if average.as_tuple().exponent < -28:
        raise BillingError("{name}: the hour from {start} averages to more than 28 decimals", "billing",
                           "inexact", start=series.starts[first].isoformat())
    return f"{average:f}"


def _refuse_part(series: PriceSeries, first: int, found: int, count: int) -> BillingError:
    start = series.starts[first]
    hour = start.replace(minute=0, second=0, microsecond=0)
    shown = f"{hour:%a %Y-%m-%d %H:%M}" + (f" ({hour:%z})" if hour.tzinfo else "")
    if found == count:  # all there, but not from the hour's start: periods from 00:30 are no clock hours
        return BillingError("{name}: the hour {hour} starts with a period at {start}, not on the hour; hourly "
                            "billing needs periods from the start of each clock hour", "billing", "off_hour",
                            hour=shown, start=f"{start:%H:%M}")
    return BillingError("{name}: the hour {hour} has {found} of its {count} periods (from {start}), and an hour is "
                        "billed on all of them; give prices for the whole hour or plan without hourly billing",
                        "billing", "part_hour", hour=shown, found=found, count=count, start=f"{start:%H:%M}")


def hourly_series(series: PriceSeries) -> PriceSeries:
    """The series of the clock hours, each priced at the exact average of its periods."""
    count = _per_hour(series)
    # Hourly prices are checked too: an hour from 00:30 is no clock hour.
    firsts: "list[int]" = []
    i = 0
    while i < len(series):
        hour = _hour_of(series.starts[i])
        j = i
        while j < len(series) and _hour_of(series.starts[j]) == hour:
            j += 1
        if j - i != count or series.starts[i].replace(tzinfo=None) != hour[0]:
            raise _refuse_part(series, i, j - i, count)
        firsts.append(i)
        i = j
    other = PriceSeries()
    for slot in PriceSeries.__slots__:
        setattr(other, slot, getattr(series, slot))
    other.starts = [series.starts[i] for i in firsts]
    other.instants = [series.instants[i] for i in firsts]
    other.places = [series.places[i] for i in firsts]
    other.sources = [series.sources[i] for i in firsts]
    other.prices = [_average(series, i, count) for i in firsts]
    other.resolution = HOUR
    return other
