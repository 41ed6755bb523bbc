"""Price files written from a known series (shuffled, repeated, nested,
renamed, with extra columns, decimal commas, forecast lists beside the real
ones, starts a second late, clock-change nights) are judged by their plans:
the command's answer must be plan's answer on the known series and window,
or one line and status 2. A file that can be read only one way must give
the plan."""
import json
from datetime import datetime, timedelta, timezone
from decimal import Decimal

import pytest
from hypothesis import HealthCheck, event, given, settings, strategies as st

import tariffsieve
from cli_command import run_in_process
from reference import exact_average

zoneinfo = pytest.importorskip("zoneinfo")
try:
    BERLIN = zoneinfo.ZoneInfo("Europe/Berlin")
except zoneinfo.ZoneInfoNotFoundError:
    pytest.skip("no time zone database", allow_module_level=True)
UTC = timezone.utc
# Starts on a plain day, and on the nights the clocks change.
FIRSTS = [datetime(2026, 4, 10, 22, tzinfo=UTC), datetime(2026, 10, 24, 22, tzinfo=UTC),
          datetime(2026, 3, 28, 22, tzinfo=UTC)]


class Known:
    """A series: its instants, prices as text and step."""

    def __init__(self, first, step, prices):
        self.step, self.prices = step, prices
        self.instants = [first + i * step for i in range(len(prices))]


@st.composite
def series(draw):
    step = timedelta(minutes=draw(st.sampled_from([15, 60])))
    count = draw(st.integers(2, 60))
    prices = [str(draw(st.decimals(min_value=-50, max_value=300, places=draw(st.sampled_from([0, 2, 4])),
                                   allow_nan=False))) for _ in range(count)]
    return Known(draw(st.sampled_from(FIRSTS)), step, prices)


def stamp(moment, form):
    """A start as sources write it: with an offset, in UTC, as an epoch count, a second late, or naive local."""
    local = moment.astimezone(BERLIN)
    return {"offset": local.isoformat(), "utc": moment.isoformat().replace("+00:00", "Z"),
            "seconds": int(moment.timestamp()), "millis": int(moment.timestamp()) * 1000,
            "late": (moment + timedelta(seconds=1)).astimezone(BERLIN).isoformat(),
            "naive": local.replace(tzinfo=None).isoformat()}[form]


def json_file(known, draw):
    """Records, split by day, nested, with forecasts and extra fields beside them; or pairs, a map, arrays."""
    form = draw(st.sampled_from(["offset", "utc", "seconds", "millis", "late"]))
    layout = draw(st.sampled_from(["records", "records", "records", "pairs", "map", "arrays"]))
    starts = [stamp(moment, form) for moment in known.instants]
    if layout == "pairs":
        return json.dumps([[start, float(price)] for start, price in zip(starts, known.prices)]), [], True
    if layout == "map":
        return json.dumps({str(start): price for start, price in zip(starts, known.prices)}), [], True
    if layout == "arrays":
        return json.dumps({"unix_seconds": [int(moment.timestamp()) for moment in known.instants],
                           "price": [Decimal(p) for p in known.prices], "unit": "EUR / MWh"}, default=str), [], True
    time_name = draw(st.sampled_from(["start", "startsAt", "time_start", "startTime", "from", "deliveryStart"]))
    price_name = draw(st.sampled_from(["price", "value", "perKwh", "total", "marketprice", "NOK_per_kWh"]))
    records = [{time_name: start, price_name: price, "renewables": 40, "tariffInformation": {"block": 1}}
               for start, price in zip(starts, known.prices)]
    args, clear = [], True
    if draw(st.integers(0, 4)) == 0:
        for record in records:
            record["spot_price"] = "1"
        args, clear = draw(st.sampled_from([([], False), (["--price-column", price_name], True)]))
    days: dict = {}
    for record, moment in zip(records, known.instants):
        days.setdefault(f"{moment.astimezone(BERLIN):%Y-%m-%d}", []).append(record)
    if draw(st.booleans()):
        records = draw(st.permutations(records)) + records[:draw(st.integers(0, 2))]
    shape = draw(st.sampled_from(["list", "nested", "days", "forecast"]))
    value = {"list": records, "nested": {"data": {"prices": records}}, "days": days,
             "forecast": {"raw_today": records, "forecast": [dict(r, **{price_name: "999"}) for r in records]}}[shape]
    return json.dumps(value), args, clear


def csv_file(known, draw):
    """With a header or none, any delimiter, decimal commas, end and unit columns, in any order of rows."""
    form = draw(st.sampled_from(["offset", "utc", "seconds", "millis", "late", "naive"]))
    delimiter = draw(st.sampled_from([",", ";", "\t"]))
    comma = delimiter != "," and draw(st.booleans())
    header = draw(st.sampled_from([None, ["time", "price"], ["start", "end", "Preis"], ["price", "unit", "from"]]))
    rows = []
    for moment, price in zip(known.instants, known.prices):
        cells = {"time": stamp(moment, form), "start": stamp(moment, form), "from": stamp(moment, form),
                 "end": stamp(moment + known.step, form), "unit": "EUR/MWh",
                 "price": price.replace(".", ",") if comma else price}
        cells["Preis"] = cells["price"]
        rows.append([cells[name] for name in (header or ["time", "price"])])
    args = ["--tz", "Europe/Berlin"] if form == "naive" else []
    if form != "naive" and draw(st.booleans()):
        rows = draw(st.permutations(rows))
    elif form == "naive" and draw(st.booleans()):
        # Days newest first, the hours of each ascending.
        at = 2 if header and header[0] == "price" else 0
        rows = sorted(rows, key=lambda row: row[at][:10], reverse=True)
    lines = ([header] if header else []) + [[str(cell) for cell in row] for row in rows]
    return "".join(delimiter.join(line) + "\r\n" for line in lines), args, True


@st.composite
def requests(draw, known):
    count = len(known.prices)
    minutes = known.step // timedelta(minutes=1)
    first = draw(st.integers(0, count - 1))
    end = draw(st.integers(first + 1, count))
    n = end - first
    run = draw(st.integers(1, n))
    block = draw(st.integers(1, run))
    gap = draw(st.integers(0, n))
    start_within = draw(st.integers(0, gap))
    cheap = draw(st.sampled_from([None, *known.prices]))
    average = draw(st.booleans())
    args = ["--run", f"{run * minutes}min", "--block", f"{block * minutes}min", "--max-off", f"{gap * minutes}min",
            "--start-within", f"{start_within * minutes}min", "--strategy", "average" if average else "cheap-periods",
            "--from", known.instants[first].isoformat(), "--until", (known.instants[end - 1] + known.step).isoformat()]
    if cheap is not None:
        args += ["--cheap", cheap]
    return first, end, (cheap, run, block, gap, start_within, average), args


def expected_plan(known, first, end, rules):
    cheap, run, block, gap, start_within, average = rules
    threshold = cheap if cheap is not None else str(1 - 2 ** 96)
    try:
        chosen = tariffsieve.plan(known.prices[first:end], threshold, run, block, gap, start_within, average)
    except ValueError:
        return None
    return [first + i for i in chosen]


def chosen_instants(answer, step):
    """The instants the answer's runs cover."""
    instants = []
    for run in answer["runs"]:
        moment = datetime.fromisoformat(run["start"]).astimezone(UTC)
        instants += [moment + i * step for i in range(run["periods"])]
    return instants


@settings(max_examples=400, deadline=None, derandomize=True, suppress_health_check=list(HealthCheck))
@given(st.data())
def test_a_plan_equal_to_plan_on_the_known_series_or_one_line(data):
    known = data.draw(series())
    text, read_args, clear = data.draw(st.sampled_from([json_file, csv_file]).map(lambda make: make(known, data.draw)))
    first, end, rules, args = data.draw(requests(known))
    proc = run_in_process(["-", "--format", "json", *read_args, *args], text.encode())
    expected = expected_plan(known, first, end, rules)
    event("planned" if proc.returncode == 0 else "refused" if expected is not None else "no valid plan")
    if proc.returncode:
        err = proc.stderr.decode()
        assert proc.returncode == 2 and err.count("\n") == 1 and not proc.stdout, err
        assert not clear or expected is None, (err, text[:300])
        return
    assert expected is not None, proc.stdout
    answer = json.loads(proc.stdout)
    assert chosen_instants(answer, known.step) == [known.instants[i] for i in expected], text[:300]
    assert (answer["window"]["first_index"], answer["window"]["periods"]) == (first, end - first)
    if expected:
        total = sum(Decimal(known.prices[i]) for i in expected)
        assert Decimal(answer["average"]) == exact_average(total, len(expected))
