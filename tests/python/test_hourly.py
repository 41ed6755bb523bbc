"""Hourly billing: quarter hours averaged exactly into clock hours (two 02:00
hours on the 25-hour day, none on the 23-hour day), runs of whole hours, and
an hour with periods missing refused by name, never averaged on fewer."""
from datetime import datetime, timedelta, timezone
from decimal import Decimal
from zoneinfo import ZoneInfo

import pytest

from test_tariff import quarters
from tariffsieve_schedule import BillingError, DurationError, PriceModel, schedule

OSLO = ZoneInfo("Europe/Oslo")
STEPS = ["0.1", "0.2", "0.3", "0.35"]


def day_of(day, zone=OSLO):
    """A day's quarter hours priced 0.1, 0.2, 0.3, 0.35 in each hour, plus a tenth per hour of the day."""
    return [(start, str(Decimal(STEPS[i % 4]) + Decimal(i // 4) / 10)) for i, (start, _) in
            enumerate(quarters(day, zone))]


@pytest.mark.parametrize("day, hours, twos", [
    (datetime(2026, 10, 25), 25, ["+0200", "+0100"]),
    (datetime(2026, 3, 29), 23, []),
    (datetime(2026, 6, 1), 24, ["+0200"]),
])
def test_hours_are_clock_hours_at_the_exact_average_of_their_quarters(day, hours, twos):
    plan = schedule(day_of(day), total="2h", billing="hourly")
    series = plan.series
    assert len(series) == hours and series.resolution == timedelta(hours=1) and plan.billing == "hourly"
    assert [f"{start:%z}" for start in series.starts if start.hour == 2] == twos
    assert series.prices == [str(Decimal("0.2375") + Decimal(i) / 10) for i in range(hours)]
    assert all(start.minute == 0 for start in series.starts)


def test_runs_are_whole_hours_in_local_time():
    plan = schedule(day_of(datetime(2026, 10, 25)), total="3h", block="1h", max_off="2h", start="01:00",
                    end="06:00", billing="hourly")
    # The first 02:00 hour ends as the second begins; at most 2 hours off after the last run.
    assert [(f"{run.start:%H:%M%z}", f"{run.end:%H:%M%z}", run.periods) for run in plan.runs] == [
        ("01:00+0200", "02:00+0100", 2), ("03:00+0100", "04:00+0100", 1)]
    assert plan.runs[0].average == Decimal("0.3875") and plan.to_json()["billing"] == "hourly"
    with pytest.raises(DurationError, match="every 1h"):
        schedule(day_of(datetime(2026, 10, 25)), total="30min", billing="hourly")


def test_the_price_paid_on_hours_is_that_of_the_hours_averages():
    model = PriceModel(multiplier="1.5", add_on="0.01", vat="25%")
    hourly = schedule(day_of(datetime(2026, 3, 29)), total="1h", price_model=model, billing="hourly")
    assert hourly.series.prices[0] == str(model.paid(Decimal("0.2375")).normalize())


@pytest.mark.parametrize("cut, step, reason, shown", [
    (1, 15, "part_hour", "the hour Sun 2026-10-25 00:00 (+0200) has 3 of its 4 periods (from 00:15)"),
    (-1, 15, "part_hour", "the hour Sun 2026-10-25 23:00 (+0100) has 3 of its 4 periods (from 23:00)"),
    (0, 5, "not_hourly", "every 5min"),
    (30, 60, "off_hour", "the hour Sun 2026-10-25 00:00 (+0200) starts with a period at 00:30, not on the hour"),
])
def test_hours_that_cannot_be_billed_whole_and_exact_are_refused(cut, step, reason, shown):
    # A cut of periods from either end, or (hourly prices) minutes off the hour.
    start = datetime(2026, 10, 24, 22, tzinfo=timezone.utc) + timedelta(minutes=cut if step == 60 else 0)
    prices = [((start + timedelta(minutes=step * i)).astimezone(OSLO), "0.1") for i in range(100 * 15 // step)]
    prices = prices if step == 60 else prices[cut:] if cut >= 0 else prices[:cut]
    with pytest.raises(BillingError) as caught:
        schedule(prices, total="1h", billing="hourly")
    assert caught.value.reason == reason and shown in str(caught.value)
    assert str(caught.value).startswith("billing: ")
