"""schedule() as a Python user calls it: prices with timestamps in any of
their forms, durations that fit the periods or a named error, windows at the
edges and over clock changes, the engine's totals, and errors that name the
argument at fault."""
import json
from datetime import datetime, time, timedelta, timezone
from decimal import Decimal

import pytest

import tariffsieve
from reference import exact_average
from tariffsieve_schedule import DurationError, PriceError, RuleError, ScheduleError, WindowError, schedule

UTC = timezone.utc
CET = timezone(timedelta(hours=1))
PRICES = ["0.31", "0.29", "0.12", "0.08", "0.11", "0.27", "0.30", "0.05", "0.06", "0.33", "0.10", "0.09"]
STARTS = [datetime(2026, 1, 10, 18, tzinfo=CET) + timedelta(hours=i) for i in range(len(PRICES))]
CSV = "time,price\n" + "".join(f"{t.isoformat()},{p}\n" for t, p in zip(STARTS, PRICES))


@pytest.mark.parametrize("prices", [
    CSV, CSV.encode(), list(zip(STARTS, PRICES)), dict(zip(STARTS, map(Decimal, PRICES))),
    [{"startsAt": t, "total": float(p)} for t, p in zip(STARTS, PRICES)],
])
def test_any_form_of_timestamped_prices_plans_as_plan_does(prices):
    planned = schedule(prices, total="3h", block=timedelta(hours=1), max_off="4h", cheap="0.10",
                       start=time(20), end="05:00")
    first, count = 2, 9
    expected = [first + i for i in tariffsieve.plan(PRICES[first:first + count], "0.10", 3, 1, 4, 4)]
    assert planned.indices == tuple(expected) and planned.chosen == tuple(STARTS[i] for i in expected)
    assert (planned.window.start, planned.window.end, planned.window.periods) == (STARTS[2], STARTS[11], count)
    total = sum(Decimal(PRICES[i]) for i in expected)
    assert (planned.total, planned.average) == (total, exact_average(total, len(expected)))
    assert planned.cheap == sum(Decimal(PRICES[i]) <= Decimal("0.10") for i in expected)
    groups = [[i, i] for i in expected if i - 1 not in expected]
    for group in groups:
        while group[1] + 1 in expected:
            group[1] += 1
    assert [(run.first, run.last, run.start, run.end) for run in planned.runs] == [
        (a, b, STARTS[a], STARTS[b] + timedelta(hours=1)) for a, b in groups]
    assert [run.total for run in planned.runs] == [sum(Decimal(p) for p in PRICES[a:b + 1]) for a, b in groups]
    answer = json.loads(json.dumps(planned.to_json()))
    assert answer["runs"][0]["start"] == STARTS[groups[0][0]].isoformat(timespec="minutes")
    assert Decimal(answer["average"]) == planned.average and answer["indices"] == expected


@pytest.mark.parametrize("arguments, error, field, reason", [
    ({"total": "50min"}, DurationError, "total", "not_whole"),
    ({"total": "3h", "block": "2"}, DurationError, "block", "no_unit"),
    ({"total": "3h", "max_off": "three hours"}, DurationError, "max_off", "not_duration"),
    ({"total": timedelta(hours=-1)}, DurationError, "total", "negative"),
    ({"total": "13h"}, RuleError, "total", "longer_than_window"),
    ({"total": "2h", "block": "3h"}, RuleError, "block", "longer_than_total"),
    ({"total": "2h", "max_off": "1h", "start_within": "2h"}, RuleError, "start_within", "longer_than_max_off"),
    ({"total": "1h", "cheap": "cheap"}, ScheduleError, "cheap", "not_number"),
    ({"total": "1h", "strategy": "cheapest"}, ScheduleError, "strategy", "unknown"),
    ({"total": "1h", "tz": "Mars/Olympus"}, ScheduleError, "tz", "unknown_zone"),
    ({"total": "1h", "end": "2026-01-11T07:00+01:00"}, WindowError, "end", "not_covered"),
    ({"total": "1h", "start": "2026-01-10T17:00+01:00"}, WindowError, "start", "not_covered"),
    ({"total": "1h", "start": "2026-01-11T06:00+01:00"}, WindowError, "start", "after_prices"),
    ({"total": "1h", "start": "19:30", "end": "20:00"}, WindowError, "end", "empty"),
    ({"total": "1h", "end": "6pm"}, WindowError, "end", "not_time"),
])
def test_each_error_names_its_field(arguments, error, field, reason):
    with pytest.raises(error) as caught:
        schedule(CSV, **arguments)
    assert (caught.value.field, caught.value.reason) == (field, reason)
    assert isinstance(caught.value, ValueError) and str(caught.value).startswith(field) or field == "end"
    assert "min_selections" not in str(caught.value)


def test_durations_that_fit_and_the_window_s_edges():
    # Quarter hours: 45 minutes is three periods; a window may end exactly at the last price's end.
    quarters = [(STARTS[0] + timedelta(minutes=15 * i), str(i % 7)) for i in range(8)]
    planned = schedule(quarters, total=timedelta(minutes=45), block="45min", start=quarters[0][0],
                       end=quarters[-1][0] + timedelta(minutes=15))
    assert planned.window.periods == 8 and [run.periods for run in planned.runs] == [3]
    with pytest.raises(DurationError, match=r"total 20min is not a whole number of periods: the series has a period "
                                            r"every 15min, so 20min would be 1.33 periods"):
        schedule(quarters, total="20min")
    # Past the prices only with partial: then the part they cover.
    late = quarters[-1][0] + timedelta(hours=2)
    assert schedule(quarters, total="15min", end=late, partial=True).window.periods == 8


def test_clock_times_over_an_autumn_clock_change():
    zoneinfo = pytest.importorskip("zoneinfo")
    try:
        berlin = zoneinfo.ZoneInfo("Europe/Berlin")
    except zoneinfo.ZoneInfoNotFoundError:
        pytest.skip("no time zone database")
    instants = [datetime(2026, 10, 24, 22, tzinfo=UTC) + timedelta(hours=i) for i in range(25)]
    prices = {moment: str(i) for i, moment in enumerate(instants)}
    whole = schedule(prices, total="1h", start="00:00", end="24:00", tz="Europe/Berlin")
    assert whole.window.periods == 25 and whole.window.start.tzinfo is berlin
    # The first 02:00 of the night, then the hour it repeats.
    night = schedule(prices, total="2h", start=time(2), end=time(3), tz=berlin)
    assert [moment.utcoffset() for moment in night.chosen] == [timedelta(hours=2), timedelta(hours=1)]


def test_a_pandas_series_and_a_frame_back():
    pandas = pytest.importorskip("pandas")
    index = pandas.DatetimeIndex(STARTS).tz_convert("UTC")
    series = pandas.Series([float(p) for p in PRICES], index=index)
    planned = schedule(series, total="2h", block="2h")
    assert planned.chosen == (STARTS[7].astimezone(UTC), STARTS[8].astimezone(UTC))
    frame = planned.to_frame()
    assert list(frame.index) == list(index) and frame["chosen"].sum() == 2
    assert frame["price"].iloc[7] == Decimal("0.05")
    with pytest.raises(PriceError) as caught:
        schedule(pandas.Series([1.0, float("nan")], index=index[:2]), total="1h")
    assert caught.value.field == "prices" and "nan" in str(caught.value)
