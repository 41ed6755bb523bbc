"""Planning on the price paid: a fee table read from its text gives one fee for
each clock time (across midnight, by weekday and season, on clock-change
days), refuses tables that read two ways naming the lines, and the prices
paid are exact."""
from datetime import datetime, timedelta, timezone
from decimal import Decimal
from zoneinfo import ZoneInfo

import pytest

from tariffsieve_schedule import PriceModel, TariffError, read_fees, schedule

BERLIN = ZoneInfo("Europe/Berlin")
TABLE = read_fees("""\
season winter 11-01 03-31   # wraps the new year
season summer 04-01 10-31
winter 21:00 06:00 0.01     # across midnight, every day
winter mon-fri 06:00 21:00 0.30
winter sat,sun 06:00 21:00 0.20
summer 00:00 02:00 0.02
summer 02:00 03:00 0.90
summer 03:00 24:00 0.04
""", "grid.txt")


def quarters(day, zone=BERLIN, price="0.1"):
    """A day's quarter hours in a zone, however long the day is."""
    start = datetime(day.year, day.month, day.day, tzinfo=zone).astimezone(timezone.utc)
    end = (datetime(day.year, day.month, day.day, tzinfo=zone) + timedelta(days=1)).astimezone(timezone.utc)
    return [((start + timedelta(minutes=15 * i)).astimezone(zone), price)
            for i in range((end - start) // timedelta(minutes=15))]


@pytest.mark.parametrize("wall, fee", [
    ("2026-01-05T23:30", "0.01"), ("2026-01-06T05:45", "0.01"),  # the night band on both sides of midnight
    ("2026-01-05T06:00", "0.30"), ("2026-01-10T06:00", "0.20"),  # a Monday, a Saturday
    ("2026-03-31T12:00", "0.30"), ("2026-04-01T12:00", "0.04"),  # the seasons' edge, by the clock time's date
    ("2028-02-29T20:59", "0.30"), ("2026-12-31T21:00", "0.01"),
])
def test_the_fee_at_a_clock_time(wall, fee):
    assert TABLE.band_at(datetime.fromisoformat(wall)).fee == Decimal(fee)


@pytest.mark.parametrize("text, reason, lines", [
    ("00:00 12:00 1\n11:00 24:00 2", "fee_overlap", [1, 2]),
    ("00:00 12:00 1\n13:00 24:00 2", "fee_gap", []),
    ("mon-sat 00:00 24:00 1\n", "fee_gap", []),
    ("mon-fri 22:00 06:00 1\nsat,sun 00:00 24:00 2", "midnight_days", [1]),
    ("season a 01-01 06-30\nseason b 06-30 12-31\n00:00 24:00 1", "season_overlap", [1, 2]),
    ("season a 01-01 06-29\nseason b 07-01 12-31\n00:00 24:00 1", "season_gap", [1, 2]),
    ("season a 01-01 12-31\nwinter 00:00 24:00 1", "fee_syntax", [2]),
    ("00:00 24:00 0,05", "fee_syntax", [1]),
    ("06:00 06:00 1", "fee_syntax", [1]),
])
def test_a_table_that_reads_two_ways_or_none_is_refused_naming_its_lines(text, reason, lines):
    with pytest.raises(TariffError) as caught:
        read_fees(text, "t.txt")
    assert (caught.value.field, caught.value.reason, caught.value.values["lines"]) == ("price_model", reason, lines)
    assert str(caught.value).startswith("price_model: t.txt")
    assert caught.value.worded("--fees").startswith("--fees: t.txt")


@pytest.mark.parametrize("day, expected", [
    # The 25-hour day: both 02:00 hours are 02:00 on the clock and pay the band's fee.
    (datetime(2026, 10, 25), 8),
    # The 23-hour day: no 02:00 on the clock, so no period pays it.
    (datetime(2026, 3, 29), 0),
])
def test_a_band_on_a_clock_change_day_follows_the_clock(day, expected):
    table = read_fees("00:00 02:00 0\n02:00 03:00 1\n03:00 24:00 0", "dst.txt")
    plan = schedule(quarters(day), total="1h", price_model=PriceModel(fees=table), tz="Europe/Berlin")
    paid = [Decimal(price) for price in plan.series.prices]
    assert paid.count(Decimal("1.1")) == expected and len(paid) == 92 + 4 * (day.month == 10) * 2
    assert all(plan.series.starts[i].hour != 2 for i in plan.indices)


def test_prices_paid_are_exact_and_the_plan_is_made_on_them():
    day = quarters(datetime(2026, 1, 5), price="0.1")  # a Monday in winter
    model = PriceModel(multiplier=3, add_on="0.0000000001", vat="19%", fees=TABLE)
    plan = schedule(day, total="2h", block="2h", price_model=model, tz="Europe/Berlin")
    spot = (Decimal("0.3") + Decimal("0.0000000001")) * Decimal("1.19")
    assert {Decimal(p) for p in plan.series.prices} == {spot + Decimal("0.01"), spot + Decimal("0.30")}
    assert plan.average == spot + Decimal("0.01") and plan.runs[0].start.hour in (0, 1, 2, 3, 21, 22)
    assert PriceModel(multiplier="0.1").paid(3) == Decimal("0.3")
    assert plan.to_json()["price_model"]["formula"] == "(spot × 3 + 0.0000000001) × (1 + 0.19) + fees of grid.txt"


@pytest.mark.parametrize("prices, reason", [
    # UTC timestamps do not say which clock the table follows.
    ([(datetime(2026, 1, 5, h, tzinfo=timezone.utc), "0.1") for h in range(24)], "utc_clock"),
    # An hourly price that a band boundary at 06:30 cuts in two.
    ([(datetime(2026, 1, 5, h, tzinfo=BERLIN), "0.1") for h in range(24)], "fee_inside_period"),
    # More decimals than the engine keeps.
    ([(datetime(2026, 1, 5, h, tzinfo=BERLIN), "0." + "1" * 27) for h in range(24)], "inexact"),
])
def test_prices_the_model_cannot_price_exactly_once_are_refused(prices, reason):
    fees = read_fees("00:00 06:30 0.1\n06:30 24:00 0.2") if reason != "inexact" else None
    model = PriceModel(multiplier="1.01", fees=fees)
    with pytest.raises(TariffError) as caught:
        schedule(prices, total="1h", price_model=model)
    assert caught.value.reason == reason
