"""Price files as people have them, each read the one way it can be read, or
refused in one line that names the choice: prices only by their names,
CSV columns by their header, rows that do not fit, lists that only look
alike, starts a second late, clock times on clock-change nights, and the
layouts and encodings of spreadsheets and APIs."""
import json
import os
import time
from datetime import datetime, timedelta, timezone

import pytest

from cli_command import run_in_process
from tariffsieve_prices import PriceDataError, read_prices

UTC = timezone.utc
T0 = datetime(2026, 4, 10, 22, tzinfo=UTC)


def stamps(count, step=timedelta(hours=1), start=T0):
    return [start + i * step for i in range(count)]


def plan(data, *args):
    """The command's JSON answer on data, or (status, the error line)."""
    proc = run_in_process(["-", "--format", "json", *args], data.encode() if isinstance(data, str) else data)
    if proc.returncode:
        err = proc.stderr.decode()
        assert proc.returncode == 2 and err.count("\n") == 1 and not proc.stdout, err
        return 2, err[len("tariffsieve-plan: error: "):-1]
    return json.loads(proc.stdout)


AMBER = [{"type": "ActualInterval", "date": "2026-04-11", "duration": 5, "startTime": f"{t:%Y-%m-%dT%H:%M}:01Z",
          "endTime": f"{t + timedelta(minutes=5):%Y-%m-%dT%H:%M}:00Z", "perKwh": 20 + i, "spotPerKwh": 9 + i,
          "renewables": 41, "tariffInformation": {"period": "offPeak", "block": 1}}
         for i, t in enumerate(stamps(12, timedelta(minutes=5)))]
NORWAY = [{"NOK_per_kWh": 0.5 + i / 10, "EUR_per_kWh": 0.05 + i / 100, "EXR": 10, "time_start": t.isoformat(),
           "time_end": (t + timedelta(hours=1)).isoformat()} for i, t in enumerate(stamps(3))]
TODAY = [{"start": t.isoformat(), "price": i} for i, t in enumerate(stamps(24))]
TOMORROW = [{"start": t.isoformat(), "price": 24 + i} for i, t in enumerate(stamps(24, start=T0 + timedelta(days=1)))]
FORECAST = [{"start": t.isoformat(), "price": 99} for t in stamps(72)]

# (data, options, the prices read or the start of the message, the choice offered)
READINGS = [
    # A price only by its name: perKwh is what the customer pays beside spotPerKwh; block is no price.
    (AMBER, {}, [str(20 + i) for i in range(12)], None),
    ([{k: v for k, v in record.items() if "Kwh" not in k} for record in AMBER], {}, "found no list", "time_field"),
    (NORWAY, {}, "the records hold several prices: NOK_per_kWh, EUR_per_kWh; pick one", "price_field"),
    (NORWAY, {"price_field": "NOK_per_kWh"}, ["0.5", "0.6", "0.7"], None),
    # Lists joined only when their names make them days of one series; forecasts only when chosen.
    ({"raw_today": TODAY, "raw_tomorrow": TOMORROW, "forecast": FORECAST}, {}, [str(i) for i in range(48)], None),
    ({"raw_today": [], "raw_tomorrow": [], "forecast": FORECAST}, {}, "only predicted prices: forecast is a "
     "forecast, read only when chosen by its path", "records"),
    ({"raw_today": [], "forecast": FORECAST}, {"records": ["forecast"]}, ["99"] * 72, None),
    ({"SE3": TODAY, "SE4": TOMORROW}, {}, "several lists of price records: SE3, SE4; pick one", "records"),
    # Records of a day and an hour are the day's hours; an hour is never an epoch count.
    ([{"date": "2026-04-11", "hour": h, "price": h} for h in range(3)], {"tz": "Europe/Oslo"}, ["0", "1", "2"], None),
    ([{"hour": h, "price": h} for h in range(3)], {}, "item 1: hour 0 is not a timestamp", None),
    # Pairs, maps and parallel arrays.
    ([[int(t.timestamp() * 1000), i] for i, t in enumerate(stamps(3))], {}, ["0", "1", "2"], None),
    ({t.isoformat(): i for i, t in enumerate(stamps(3))}, {}, ["0", "1", "2"], None),
    ({"license_info": "CC BY 4.0", "unix_seconds": [int(t.timestamp()) for t in stamps(3)], "price": [1.5, 2, 3],
      "unit": "EUR / MWh", "deprecated": False}, {}, ["1.5", "2", "3"], None),
    # CSV: columns by their header's names, an end column never the price.
    ("start_timestamp,end_timestamp,marketprice\n" + "".join(
        f"{int(t.timestamp() * 1000)},{int(t.timestamp() * 1000) + 3600000},{i}.5\n" for i, t in enumerate(stamps(3))),
     {}, ["0.5", "1.5", "2.5"], None),
    ("".join(f"{t.isoformat()},{(t + timedelta(hours=1)).isoformat()},{i}\n" for i, t in enumerate(stamps(3))), {},
     ["0", "1", "2"], None),
    ("price,time\n" + "".join(f"{i},{t.isoformat()}\n" for i, t in enumerate(stamps(3))), {}, ["0", "1", "2"], None),
    ("time,price,volume\n" + "".join(f"{t.isoformat()},{i},7\n" for i, t in enumerate(stamps(3))), {},
     ["0", "1", "2"], None),
    ("time,spot price,grid price\n" + "".join(f"{t.isoformat()},{i},7\n" for i, t in enumerate(stamps(3))), {},
     "line 1: several price columns: spot price, grid price; pick one", "price_field"),
    # Rows that do not fit: unquoted decimal commas, and a first row that is data.
    ("time,price\n2026-04-11T00:00:00+02:00,0,25\n2026-04-11T01:00:00+02:00,0,5\n", {},
     "line 2: 3 columns, but the header has 2 (0,25: a decimal comma", None),
    ("2026-04-11T00:00:00+02:00,0,25\n2026-04-11T01:00:00+02:00,0,5\n", {},
     "line 1: '0,25' may be one price with a decimal comma or two columns", "price_field"),
    ("2026-04-11T00:00:00+02:00,n/a\n2026-04-11T01:00:00+02:00,0.5\n", {}, "line 1: the price 'n/a' is not", None),
    # Spreadsheet exports: semicolons, decimal commas, thousands marks, a sep= line, a comma in the header.
    ("sep=;\nZeit;Preis (EUR/MWh, netto)\n2026-04-11T00:00+02:00;1.234,5\n2026-04-11T01:00+02:00;-0,25\n", {},
     ["1234.5", "-0.25"], None),
    ("time,price\n" + '2026-04-11T00:00+02:00,"1,234.5"\n2026-04-11T01:00+02:00,12.25\n', {}, ["1234.5", "12.25"],
     None),
    ("time;price\n2026-04-11T00:00+02:00;1,234\n2026-04-11T01:00+02:00;1,5\n", {}, ["1.234", "1.5"], None),
    ("time;price\n2026-04-11T00:00+02:00;1,234\n2026-04-11T01:00+02:00;2,345\n", {},
     "line 2: the price 1,234 may be 1.234 or 1234", None),
    ("time;price\n2026-04-11T00:00+02:00;1,5\n2026-04-11T01:00+02:00;2.5\n", {},
     "line 3: the price 2.5 has a decimal point, but line 2 writes 1,5 with a decimal comma", None),
]


@pytest.mark.parametrize("data, options, expected, choice", READINGS)
def test_one_reading_or_a_named_choice(data, options, expected, choice):
    if isinstance(expected, list):
        assert read_prices(data, **options).prices == expected
        return
    with pytest.raises(PriceDataError) as caught:
        read_prices(data, **options)
    assert str(caught.value).startswith(expected) and caught.value.choice == choice, str(caught.value)


@pytest.mark.parametrize("encoding", ["utf-16", "utf-16-le", "utf-16-be", "cp1252", "utf-8-sig"])
def test_text_encodings_of_spreadsheet_exports(encoding):
    text = "Zeit;Preis (€/kWh)\r\n2026-04-11T00:00+02:00;0,0812\r\n2026-04-11T01:00+02:00;0,0765\r\n"
    series = read_prices(text.encode(encoding))
    assert (series.prices, series.price_field) == (["0.0812", "0.0765"], "Preis (€/kWh)")


def test_starts_one_second_late_are_the_periods_they_are():
    series = read_prices(AMBER)
    assert series.starts[0] == T0 and series.resolution == timedelta(minutes=5)
    # The window's last period ends at 23:00 and is kept; a clock time on the minute is a period's start.
    answer = plan(json.dumps(AMBER), "--run", "5min", "--from", "22:30", "--until", "23:00", "--tz", "UTC")
    assert (answer["window"]["first_index"], answer["window"]["periods"]) == (6, 6)
    assert answer["runs"][0]["start"] == "2026-04-10T22:30+00:00"


def autumn_night(zone_name):
    zone = pytest.importorskip("zoneinfo").ZoneInfo(zone_name)
    return zone, stamps(25, start=datetime(2026, 10, 24, 22, tzinfo=UTC))


def test_until_a_repeated_clock_time_is_its_first_occurrence():
    zone, instants = autumn_night("Europe/Berlin")
    data = json.dumps([{"start": t.astimezone(zone).isoformat(), "price": i} for i, t in enumerate(instants)])
    answer = plan(data, "--run", "1h", "--until", "02:00")
    assert answer["window"]["end"] == "2026-10-25T02:00+02:00" and answer["window"]["periods"] == 2
    answer = plan(data, "--run", "1h", "--from", "02:00", "--until", "04:00")
    assert (answer["window"]["first_index"], answer["window"]["periods"]) == (2, 3)


def test_naive_days_newest_first_with_hours_ascending():
    zone, instants = autumn_night("Europe/London")
    walls = [(i, t.astimezone(zone).replace(tzinfo=None)) for i, t in enumerate(instants)]
    days = sorted({wall.date() for _, wall in walls}, reverse=True)
    rows = [f"{wall.isoformat()},{i}\n" for day in days for i, wall in walls if wall.date() == day]
    series = read_prices("time,price\n" + "".join(rows), tz=zone)
    assert series.instants == instants and series.prices == [str(i) for i in range(25)]
    # Two prices for one wall time in an order nothing tells: refused, not guessed.
    shuffled = "time,price\n" + "".join(rows[1:2] + rows[:1] + rows[3:] + rows[2:3]).replace(
        "T01:00:00,2", "T01:00:00,X").replace("T01:00:00,3", "T01:00:00,2").replace("T01:00:00,X", "T01:00:00,3")
    with pytest.raises(PriceDataError, match="repeated hour of a clock change"):
        read_prices(shuffled, tz=zone)


def test_a_posix_tz_rule_shows_each_repeated_hour_with_its_offset(monkeypatch):
    from tariffsieve_plan.zones import machine_zone

    monkeypatch.setenv("TZ", "GMT0BST,M3.5.0/1,M10.5.0")
    time.tzset()
    try:
        zone, name = machine_zone()
        shown = [t.astimezone(zone).isoformat() for t in stamps(3, start=datetime(2026, 10, 25, tzinfo=UTC))]
    finally:
        monkeypatch.undo()
        time.tzset()
    assert name == "GMT/BST" and os.environ.get("TZ") != "GMT0BST,M3.5.0/1,M10.5.0"
    assert shown == ["2026-10-25T01:00:00+01:00", "2026-10-25T01:00:00+00:00", "2026-10-25T02:00:00+00:00"]


DAY = "time,price\n" + "".join(f"{t.isoformat()},{i}\n" for i, t in enumerate(stamps(4)))


@pytest.mark.parametrize("data, args, message", [
    ('[{"start": "0001-01-01T00:00:00+01:00", "price": 1}]', [],
     "standard input, item 1: start 0001-01-01T00:00:00+01:00 lies outside the years 1 to 9999 in UTC"),
    (DAY, ["--until", "9999-12-31T23:59-05:00"], "--until 9999-12-31T23:59-05:00: lies outside the years 1 to 9999 "
                                                 "in UTC"),
    (DAY, ["--resolution", "9999999999d"], "--resolution 9999999999d: longer than any period of a price series"),
])
def test_inputs_that_once_crashed_are_one_line(data, args, message):
    assert plan(data, "--run", "1h", *args) == (2, message)


def test_the_json_average_is_the_module_s_own():
    answer = plan("time,price\n2026-01-01T00:00Z,10\n2026-01-01T01:00Z,10\n2026-01-01T02:00Z,10.01\n", "--run", "3h")
    assert answer["average"] == "10.003333333333333333333333333"
