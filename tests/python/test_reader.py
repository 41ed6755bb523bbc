"""tariffsieve_prices as a library: data already decoded (datetimes, floats,
Decimals), epoch times, naive times in a zone in any order, lists chosen by
path, and errors that say where, offer the choice, and name no option."""
from datetime import datetime, timedelta, timezone
from decimal import Decimal

import pytest

from tariffsieve_prices import PriceDataError, read_prices

UTC = timezone.utc
T0 = datetime(2026, 4, 10, 22, tzinfo=UTC)


def hours(count, start=T0):
    return [start + timedelta(hours=i) for i in range(count)]


def test_decoded_attributes_with_datetimes_and_numbers():
    # As a Home Assistant integration hands its attributes over in-process.
    today = [{"start": t, "end": t + timedelta(hours=1), "value": v} for t, v in zip(hours(2), (0.1, Decimal("2E-2")))]
    tomorrow = [{"start": hours(3)[2], "end": hours(4)[3], "value": 3}]
    series = read_prices({"today": [0.1, 0.02], "raw_today": today, "raw_tomorrow": tomorrow, "tomorrow_valid": True})
    assert (series.instants, series.prices) == (hours(3), ["0.1", "0.02", "3"])
    assert (series.time_field, series.price_field, series.lists) == ("start", "value", ("raw_today", "raw_tomorrow"))
    assert series.resolution == timedelta(hours=1) and series.utc


@pytest.mark.parametrize("stamps", [
    [1775858400 + 3600 * i for i in range(3)],                       # seconds
    [str(1775858400000 + 3600000 * i) for i in range(3)],            # milliseconds as text
    ["2026-04-10T22:00:00.0Z", "2026-04-10 23:00:00+00:00", "2026-04-11T02:00+0200"],
])
def test_epoch_seconds_milliseconds_and_iso_agree(stamps):
    series = read_prices([{"timestamp": stamp, "price": "1"} for stamp in stamps])
    assert series.instants == hours(3)


def test_naive_wall_times_in_a_zone_newest_first_over_the_autumn_change():
    zoneinfo = pytest.importorskip("zoneinfo")
    try:
        zone = zoneinfo.ZoneInfo("Europe/Berlin")
    except zoneinfo.ZoneInfoNotFoundError:
        pytest.skip("no time zone database")
    instants = [datetime(2026, 10, 24, 22, tzinfo=UTC) + timedelta(minutes=15 * i) for i in range(100)]
    walls = [moment.astimezone(zone).replace(tzinfo=None).isoformat() for moment in instants]
    text = "time;price\n" + "".join(f"{wall};{i}\n" for i, wall in reversed(list(enumerate(walls))))
    series = read_prices(text, tz=zone)
    assert series.instants == instants and series.prices == [str(i) for i in range(100)]
    assert series.starts[-1].isoformat() == "2026-10-25T23:45:00+01:00"


def test_lists_chosen_by_path_and_repeats_across_lists_dropped():
    homes = [{"priceInfo": {"today": [{"startsAt": t.isoformat(), "total": n + i} for i, t in enumerate(hours(2))]}}
             for n in (10, 20)]
    data = {"data": {"viewer": {"homes": homes}}}
    for path in ("data.viewer.homes[1].priceInfo", "data.viewer.homes.1.priceInfo.today"):
        assert read_prices(data, records=[path]).prices == ["20", "21"]
    overlapping = {"prices_today": [{"time": str(T0), "price": 1}], "prices": [{"time": str(T0), "price": 1},
                                                                            {"time": str(hours(2)[1]), "price": 2}]}
    assert read_prices(overlapping).prices == ["1", "2"]


ITEM = {"start": "2026-04-10T22:00Z", "price": "1"}
NEXT = {"start": "2026-04-10T23:00Z", "price": "2"}

# (data, keyword arguments, the message, the choice offered and its candidates)
ERRORS = [
    ({"a": [ITEM, NEXT], "b": {"c": [dict(ITEM, price="5"), NEXT]}}, {},
     "a and b.c hold different prices for the same periods", "records", ("a", "b.c")),
    ({"SE3": [ITEM], "SE4": [dict(ITEM, price="5")]}, {},
     "SE3 and SE4 hold different prices for the same periods", "records", ("SE3", "SE4")),
    ({"data": {"rows": [{"when": 1, "cost": 2}], "names": ["x"]}}, {},
     "found no list of objects with a start time and a price anywhere in the data (start times are looked for "
     "under start, startsAt", "time_field", ()),
    ({"data": {"rows": [{"when": 1}]}}, {"records": ["data.cols"]},
     "no 'data.cols' in the data: the object at 'data' has rows", "records", ()),
    ([dict(ITEM, energy="0.5", tax="0.2"), NEXT], {},
     "the records hold several prices: price, energy, tax; pick one", "price_field", ("price", "energy", "tax")),
    ([ITEM, dict(NEXT, start="2026-04-10T23:00")], {},
     "item 2: the start 2026-04-10T23:00:00 has no UTC offset, unlike the one at item 1", None, ()),
    ([ITEM, NEXT, dict(NEXT, start="2026-04-11T02:00Z")], {"name": "x.json"},
     "x.json, item 3: 2 periods missing before 2026-04-11T02:00:00+00:00", None, ()),
    ([ITEM], {}, "item 1: one period only, which cannot tell the period length", "resolution", ()),
    ([ITEM, NEXT], {"resolution": timedelta(0)}, "a period length of 0:00:00 is not a length", "resolution", ()),
    ("<!DOCTYPE x [<!ENTITY e 'e'>]><x/>", {"name": "a.xml"}, "a.xml, line 1: a DOCTYPE", None, ()),
    (b"time,price\n\x81", {}, "line 2: not UTF-8 text (byte 0x81)", None, ()),
]


@pytest.mark.parametrize("data, options, message, choice, candidates", ERRORS)
def test_errors_say_where_and_offer_the_choice(data, options, message, choice, candidates):
    with pytest.raises(PriceDataError) as caught:
        read_prices(data, **options)
    error = caught.value
    assert str(error).startswith(message) and "--" not in str(error)
    assert (error.choice, error.candidates[:len(candidates)]) == (choice, candidates)
