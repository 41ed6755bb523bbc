"""Whatever bytes, files and options reach tariffsieve-plan, it ends with a
plan (status 0) or with one line on standard error and status 2: never a
traceback, never a second line. Generated price files are near misses of
what sources send: shuffled, repeated, gapped, mixed offsets, epoch times,
nested JSON, ENTSO-E XML with holes, and plain noise."""
import json
import re
from datetime import datetime, timedelta, timezone

from hypothesis import HealthCheck, given, settings, strategies as st

from cli_command import run_in_process

BASE = datetime(2026, 3, 28, 22, tzinfo=timezone.utc)
STEPS = [timedelta(minutes=minutes) for minutes in (0, 5, 15, 30, 60, -60)]


def stamp_text(moment, form):
    if form == "naive":
        return moment.strftime("%Y-%m-%dT%H:%M")
    if form == "epoch":
        return str(int(moment.timestamp()))
    if form == "millis":
        return str(int(moment.timestamp() * 1000))
    if form == "space":
        return str(moment.astimezone(timezone(timedelta(hours=2))))
    return moment.isoformat().replace("+00:00", "Z")


def mostly(good, bad, one_in=12):
    """Values from good, and one time in one_in from bad."""
    # Hypothesis draws the ends of a range most often: the bad roll lies inside it.
    return st.integers(0, one_in).flatmap(lambda roll: bad if roll == one_in // 2 else good)


prices = mostly(
    st.decimals(min_value=-1000, max_value=1000, places=4, allow_nan=False).map(str),
    st.sampled_from(["0,25", "", "1e-2", "-0", "1_000", "79228162514264337593543950336", "NaN", "1e999",
                     "0.12345678901234567890123456789", ".5", "x"]),
    one_in=40)


@st.composite
def records(draw):
    """(start text, price text) pairs: mostly a regular series, then bent."""
    count = draw(st.integers(1, 40))
    step = draw(st.sampled_from(STEPS[1:5]))
    form = draw(st.sampled_from(["iso", "naive", "epoch", "millis", "space"]))
    starts = [BASE + i * step for i in range(count)]
    pairs = [[stamp_text(moment, form), draw(prices)] for moment in starts]
    for _ in range(draw(st.sampled_from([0, 0, 0, 1, 2]))):
        bend = draw(st.sampled_from(["repeat", "drop", "shift", "garbage", "reverse", "offset"]))
        i = draw(st.integers(0, len(pairs) - 1))
        if bend == "repeat":
            pairs.insert(i, list(pairs[i]) if draw(st.booleans()) else [pairs[i][0], draw(prices)])
        elif bend == "drop" and len(pairs) > 1:
            pairs.pop(i)
        elif bend == "shift":
            pairs[i][0] = stamp_text(starts[min(i, len(starts) - 1)] + draw(st.sampled_from(STEPS)), form)
        elif bend == "garbage":
            pairs[i][0] = draw(st.sampled_from(["", "now", "2026-02-30T00:00", "12:00", "-1", "1e30", "T"]))
        elif bend == "reverse":
            pairs.reverse()
        else:
            pairs[i][0] = starts[min(i, len(starts) - 1)].astimezone(timezone(timedelta(hours=1))).isoformat()
    return pairs


@st.composite
def csv_files(draw):
    pairs = draw(records())
    delimiter = draw(st.sampled_from([",", ";", "\t"]))
    header = draw(mostly(st.sampled_from([[], ["timestamp", "price"]]), st.sampled_from([["price", "time"], ["only"]]),
                         one_in=6))
    rows = [header] if header else []
    rows += [pair if header[:1] != ["price"] else pair[::-1] for pair in pairs]
    return "\n".join(delimiter.join(row) for row in rows).encode(), "csv"


def json_value(pairs, draw):
    keys = draw(st.sampled_from([("start", "price"), ("startsAt", "total"), ("time", "value"),
                                 ("timestamp", "price"), ("from", "marketPrice"), ("begin", "cost")]))
    items = [{keys[0]: stamp, keys[1]: price} for stamp, price in pairs]
    if draw(st.integers(0, 5)) == 3:
        for item in items:
            item["energy"] = "0.1"
    shape = draw(mostly(st.sampled_from(["list", "object", "split", "deep"]), st.sampled_from(["areas", "scalars"]),
                        one_in=6))
    if shape == "list":
        return items
    if shape == "object":
        return {"prices": items, "unit": "EUR/MWh"}
    if shape == "split":
        half = len(items) // 2
        return {"today": items[:half], "tomorrow": items[half:] or None}
    if shape == "areas":
        return {"SE3": items, "SE4": [dict(item, price="9") for item in items]}
    if shape == "deep":
        return {"data": {"viewer": {"homes": [{"priceInfo": {"today": items}}] * draw(mostly(st.just(1), st.just(2)))}}}
    return {"prices": [price for _, price in pairs]}


@st.composite
def json_files(draw):
    text = json.dumps(json_value(draw(records()), draw))
    if draw(st.booleans()):
        # Numbers as JSON numbers: prices, and epoch times.
        text = re.sub(r': "(-?\d+(?:\.\d+)?)"', r": \1", text)
    return text.encode(), "json"


@st.composite
def xml_files(draw):
    positions = sorted(draw(st.sets(mostly(st.integers(1, 24), st.integers(-1, 30)), min_size=1, max_size=24)))
    resolution = draw(mostly(st.sampled_from(["PT15M", "PT60M"]), st.sampled_from(["PT7M", "P1M", "x"])))
    points = "".join(f"<Point><position>{p}</position><price.amount>{draw(prices)}</price.amount></Point>"
                     for p in positions)
    doctype = draw(mostly(st.just(""), st.just('<!DOCTYPE x [<!ENTITY a "aaaa">]>')))
    text = (f'<?xml version="1.0"?>{doctype}<Publication_MarketDocument xmlns="urn:x"><TimeSeries>'
            f"<curveType>{draw(st.sampled_from(['A01', 'A03']))}</curveType><Period><timeInterval>"
            f"<start>2026-03-28T23:00Z</start><end>{draw(mostly(st.just('2026-03-29T22:00Z'), st.just('x')))}</end>"
            f"</timeInterval><resolution>{resolution}</resolution>{points}</Period></TimeSeries>"
            f"</Publication_MarketDocument>")
    return text.encode(), "xml"


files = mostly(st.one_of(csv_files(), json_files(), xml_files()),
               st.binary(max_size=200).map(lambda data: (data, "csv")), one_in=20)
durations = mostly(st.sampled_from(["15min", "1h", "2h", "30min", "3h", "1h30m"]),
                   st.sampled_from(["45min", "0min", "1", "3", "2.5h", "1d", "99999999999999999999h", "-1h", "h", ""]))
moments = mostly(st.sampled_from(["18:00", "00:00", "24:00", "now", "2026-03-29T02:30", "2026-03-29T01:00Z",
                                  "2026-03-29T03:00+02:00"]),
                 st.sampled_from(["25:00", "yesterday", "2026-03-29T02:30+25:00"]))


@st.composite
def option_sets(draw):
    args = ["--run", draw(durations)]
    for option, values in (("--block", durations), ("--max-off", durations), ("--start-within", durations),
                           ("--cheap", prices), ("--from", moments), ("--until", moments),
                           ("--tz", mostly(st.sampled_from(["Europe/Berlin", "UTC"]),
                                           st.sampled_from(["Mars/Olympus", ""]))),
                           ("--resolution", mostly(st.sampled_from(["15min", "1h"]), st.sampled_from(["0min", "x"]))),
                           ("--records", st.sampled_from(["SE3", "data.viewer.homes[0]", "prices", "x.y", "[5]"])),
                           ("--price-column", st.sampled_from(["price", "2", "total", "energy", "0", "x.y"])),
                           ("--time-column", st.sampled_from(["start", "1", "time", "9"])),
                           ("--format", st.sampled_from(["text", "json", "csv"])),
                           ("--strategy", st.sampled_from(["average", "cheap-periods"])),
                           ("--per-row", mostly(st.sampled_from(["1", "4"]), st.just("0")))):
        if draw(st.integers(0, 9 if option.endswith(("column", "records", "resolution", "tz")) else 3)) == 2:
            args += [option, draw(values)]
    for flag in ("--periods", "--partial", "--no-chart"):
        if draw(st.integers(0, 3)) == 2:
            args.append(flag)
    return args


@settings(max_examples=600, deadline=None, derandomize=True, suppress_health_check=list(HealthCheck))
@given(files, option_sets(), st.sampled_from(["-", "file"]), st.integers(0, 48))
def test_a_plan_or_one_line_and_status_2(tmp_path_factory, file, args, where, hours):
    data, kind = file
    if where == "-":
        argv, stdin = ["-", *args], data
    else:
        path = tmp_path_factory.mktemp("in") / f"prices.{kind}"
        path.write_bytes(data)
        argv, stdin = [path, *args], b""
    proc = run_in_process(argv, stdin, now=BASE + timedelta(hours=hours))
    err = proc.stderr.decode()
    if proc.returncode == 0:
        assert proc.stdout and not err
    else:
        assert proc.returncode == 2, err
        assert not proc.stdout and err.startswith("tariffsieve-plan: error: ") and err.count("\n") == 1, err
