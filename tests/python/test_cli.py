"""The tariffsieve-plan command, run as installed: its JSON is what plan gives
on the periods the rules and window name, it reads what people have, and bad
input ends with one line on standard error and status 2, never a traceback."""
import csv
import json
import re
import subprocess
import sys
from datetime import datetime, timedelta, timezone
from decimal import Decimal
from pathlib import Path

import pytest

import tariffsieve
from cli_command import command, environment
from tariffsieve_plan.durations import describe, parse_seconds
from tariffsieve_plan.series import parse_instant

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
DAY = EXAMPLES / "sample_day.csv"
DAY_JSON = EXAMPLES / "sample_day.json"
TWO_DAYS = EXAMPLES / "sample_two_days_15min.csv"


def run_cli(*args, stdin=None, cwd=None):
    return subprocess.run([*command(), *map(str, args)], input=stdin, capture_output=True, cwd=cwd, env=environment(),
                          timeout=300)


def plan_json(*args, stdin=None):
    proc = run_cli(*args, "--format", "json", stdin=stdin)
    assert proc.returncode == 0, proc.stderr.decode()
    return json.loads(proc.stdout)


def rows_of(path):
    with open(path, newline="") as f:
        return list(csv.reader(f))[1:]


def exact_average(prices):
    return sum(Decimal(p) for p in prices) / len(prices)


HEATER = ["--run", "6h", "--block", "2h", "--max-off", "8h", "--start-within", "4h", "--cheap", "0.0750"]
PUMP = ["--run", "4h", "--block", "1h", "--max-off", "8h", "--cheap", "0.0500"]


# (input, arguments, the window [first, end) and the request in periods)
CASES = [
    (DAY, HEATER, (0, 24), (6, 2, 8, 4)),
    (DAY_JSON, HEATER, (0, 24), (6, 2, 8, 4)),
    (TWO_DAYS, PUMP, (0, 192), (16, 4, 32, 32)),
    (TWO_DAYS, PUMP + ["--until", "24:00"], (0, 96), (16, 4, 32, 32)),
    (TWO_DAYS, PUMP + ["--from", "2026-04-12T00:00"], (96, 192), (16, 4, 32, 32)),
    (TWO_DAYS, ["--run", "3h", "--block", "1h", "--cheap", "0.0500", "--from", "18:00", "--until", "07:00"],
     (72, 124), (12, 4, 52, 52)),
    (TWO_DAYS, ["--run", "12", "--block", "4", "--periods", "--from", "18:00", "--until", "2026-04-12T07:00"],
     (72, 124), (12, 4, 52, 52)),
    (TWO_DAYS, ["--run", "1h30m", "--block", "45min", "--max-off", "2.5h", "--start-within", "0min"],
     (0, 192), (6, 3, 10, 0)),
]


@pytest.mark.parametrize("strategy", ["average", "cheap-periods"])
@pytest.mark.parametrize("source, args, span, counts", CASES)
def test_json_is_what_plan_gives(source, args, span, counts, strategy):
    answer = plan_json(source, *args, "--strategy", strategy)
    rows = rows_of(DAY if source == DAY_JSON else source)
    prices = [price for _, price in rows]
    first, end = span
    request = answer["request"]
    assert [request[name] for name in ("min_selections", "min_consecutive_periods", "max_gap_between_periods",
                                       "max_gap_from_start")] == list(counts)
    assert request["aggressive"] == (strategy == "average")
    direct = tariffsieve.plan(prices[first:end], **request)
    assert answer["indices"] == [first + i for i in direct]
    assert (answer["window"]["first_index"], answer["window"]["periods"]) == (first, end - first)

    # The runs are the blocks of the indices, between the series' own timestamps.
    chosen = answer["indices"]
    starts = [i for i in chosen if i - 1 not in chosen]
    assert [run["periods"] for run in answer["runs"]] == \
        [len([i for i in chosen if s <= i < s + run["periods"]]) for s, run in zip(starts, answer["runs"])]
    assert sum(run["periods"] for run in answer["runs"]) == len(chosen)
    times = [datetime.fromisoformat(stamp) for stamp, _ in rows]
    step = times[1] - times[0]
    for s, run in zip(starts, answer["runs"]):
        start, stop = datetime.fromisoformat(run["start"]), datetime.fromisoformat(run["end"])
        assert start.replace(tzinfo=None) == times[s]
        assert stop - start == run["periods"] * step
        assert Decimal(run["average"]) == round(exact_average(prices[s:s + run["periods"]]), 28)
    assert Decimal(answer["average"]) == round(exact_average([prices[i] for i in chosen]), 28)


def test_clock_times_come_back_in_the_series_offsets():
    # 92 quarter hours over the spring clock change, with offsets: regular.
    start = datetime(2026, 3, 29, tzinfo=timezone(timedelta(hours=1)))
    stamps = [(start + timedelta(minutes=15 * i)).astimezone(timezone(timedelta(hours=1 if i < 8 else 2)))
              for i in range(92)]
    prices = [f"0.{(i * 37) % 100:02d}" for i in range(92)]
    text = "[" + ",".join(f'{{"start": "{t.isoformat()}", "price": {p}}}' for t, p in zip(stamps, prices)) + "]"
    answer = plan_json("-", "--run", "2h", "--block", "1h", "--max-off", "6h", stdin=text.encode())
    assert answer["indices"] == tariffsieve.plan(prices, **answer["request"])
    for run in answer["runs"]:
        first = stamps.index(datetime.fromisoformat(run["start"]))
        assert run["start"] == stamps[first].isoformat(timespec="minutes")
        last = first + run["periods"] - 1
        assert datetime.fromisoformat(run["end"]) == stamps[last] + timedelta(minutes=15)
        if last + 1 < len(stamps):
            assert run["end"] == stamps[last + 1].isoformat(timespec="minutes")


def test_tz_reads_clock_times_and_shows_the_answer_in_that_zone():
    zone_or_skip("Europe/Berlin")
    utc = "[" + ",".join(f'{{"start": "{t[:16]}:00Z", "price": "{p}"}}' for t, p in rows_of(TWO_DAYS)) + "]"
    answer = plan_json("-", "--tz", "Europe/Berlin", "--from", "18:00", "--until", "07:00", "--run", "3h",
                       stdin=utc.encode())
    # 18:00 in Berlin is 16:00 UTC, index 64 of the series that starts at midnight UTC.
    assert answer["window"] == {"start": "2026-04-11T18:00+02:00", "end": "2026-04-12T07:00+02:00",
                                "first_index": 64, "periods": 52}
    assert answer["runs"][0]["start"].endswith("+02:00")


def zone_or_skip(name):
    zoneinfo = pytest.importorskip("zoneinfo")
    try:
        return zoneinfo.ZoneInfo(name)
    except zoneinfo.ZoneInfoNotFoundError:
        pytest.skip("no time zone database")


def autumn_day_naive():
    """100 quarter hours of the autumn clock-change day, as wall times without offsets."""
    zone = zone_or_skip("Europe/Berlin")
    start = datetime(2026, 10, 25, tzinfo=zone).astimezone(timezone.utc)
    stamps = [(start + timedelta(minutes=15 * i)).astimezone(zone) for i in range(100)]
    assert stamps[-1].date() == stamps[0].date()
    return "timestamp,price\n" + "".join(f"{t:%Y-%m-%dT%H:%M},0.{(i * 53) % 97:02d}\n" for i, t in enumerate(stamps))


def test_a_clock_change_day_without_offsets_needs_its_zone(tmp_path):
    (tmp_path / "autumn.csv").write_text(autumn_day_naive())
    answer = plan_json(tmp_path / "autumn.csv", "--tz", "Europe/Berlin", "--run", "4h", "--block", "1h",
                       "--max-off", "8h", "--until", "24:00")
    assert answer["window"]["periods"] == 100
    assert answer["window"]["end"] == "2026-10-26T00:00+01:00"
    prices = [price for _, price in rows_of(tmp_path / "autumn.csv")]
    assert answer["indices"] == tariffsieve.plan(prices, **answer["request"])

    proc = run_cli("autumn.csv", "--run", "4h", cwd=tmp_path)
    assert proc.returncode == 2
    assert proc.stderr.decode() == (
        "tariffsieve-plan: error: autumn.csv, line 14: timestamp '2026-10-25T02:00' is earlier than the one before "
        "it ('2026-10-25T02:45'); on a clock-change day give --tz ZONE or timestamps with a UTC offset\n")


def test_prices_reach_plan_as_written():
    # As floats both prices are 0.3; as written the second is cheaper, so it is chosen.
    text = ('{"prices": [{"start": "2026-01-01T00:00Z", "price": 0.30000000000000000001},'
            ' {"start": "2026-01-01T01:00Z", "price": 0.3}, {"start": "2026-01-01T02:00Z", "price": 1_0}]}')
    proc = run_cli("-", "--run", "1h", "--format", "json", stdin=text.encode())
    assert proc.returncode == 2 and b"not valid JSON" in proc.stderr  # 1_0 is no JSON number
    answer = plan_json("-", "--run", "1h", stdin=text.replace("1_0", '"1_0"').encode())
    assert answer["indices"] == [1]
    assert answer["runs"][0]["start"] == "2026-01-01T01:00+00:00"
    # Exponents, which decimal text has not, are taken exactly too.
    answer = plan_json("-", "--run", "5min", "--cheap", "1.5e-2", stdin=b'[{"start": "2026-01-01T00:00", "price": 2E-2},'
                       b' {"start": "2026-01-01T00:05", "price": 1.5e-2}]')
    assert answer["indices"] == [1] and answer["average"] == "0.015"


def test_columns_by_name_and_other_separators(tmp_path):
    rows = rows_of(DAY)
    (tmp_path / "wide.csv").write_text("price;zone;from\n" + "".join(f"{p};DE;{t}+02:00\n" for t, p in rows))
    answer = plan_json(tmp_path / "wide.csv", "--time-column", "FROM", "--price-column", "1", *HEATER)
    assert answer["indices"] == tariffsieve.get_cheapest_periods([p for _, p in rows], "0.0750", 6, 2, 8, 4)
    assert answer["runs"][0]["start"] == "2026-04-10T02:00+02:00"


def test_csv_and_text_answers_mark_the_chosen_periods():
    chosen = tariffsieve.plan([p for _, p in rows_of(TWO_DAYS)], "0.0500", 16, 4, 32, 32)
    proc = run_cli(TWO_DAYS, *PUMP, "--format", "csv")
    table = list(csv.reader(proc.stdout.decode().splitlines()))
    assert table[0] == ["timestamp", "price", "chosen"]
    assert table[1:] == [[t, p, str(int(i in chosen))] for i, (t, p) in enumerate(rows_of(TWO_DAYS))]

    # Several periods a row: '#' before each chosen price, '<' after each cheap one.
    text = run_cli(TWO_DAYS, *PUMP).stdout.decode()
    cells = re.findall(r"(#?) *(-?[\d.]+)(<?)", "\n".join(re.sub(r"^[ *] \w{3} \d\d:\d\d", "", line)
                                                           for line in text.split("\n\n")[-1].splitlines()[1:]))
    assert [price for _, price, _ in cells] == [p for _, p in rows_of(TWO_DAYS)]
    assert [i for i, cell in enumerate(cells) if cell[0]] == chosen
    assert [bool(cheap) for _, price, cheap in cells] == [Decimal(price) <= Decimal("0.0500") for _, price, _ in cells]


@pytest.mark.parametrize("strategy", ["average", "cheap-periods"])
def test_bar_chart_marks_the_chosen_periods(strategy):
    rows = rows_of(DAY)
    chosen = tariffsieve.get_cheapest_periods([p for _, p in rows], "0.0750", 6, 2, 8, 4,
                                              aggressive=strategy == "average")
    text = run_cli(DAY, *HEATER, "--strategy", strategy).stdout.decode()
    chart = text.split("\n\n")[-1].splitlines()
    bars = [(line[0], *line[2:].split(maxsplit=2)) for line in chart]
    assert [(label, price) for _, label, price, _ in bars] == [(t[11:], p) for t, p in rows]
    assert [i for i, bar in enumerate(bars) if bar[0] == "*"] == chosen
    assert [i for i, bar in enumerate(bars) if "#" in bar[3]] == chosen
    # The threshold stands in one column, and only prices above it reach past it.
    assert len({line.index("|") for line in chart}) == 1
    assert [not bar.rstrip().endswith("|") for *_, bar in bars] == [Decimal(p) > Decimal("0.0750") for _, p in rows]
    by_price = [len(bar.rstrip()) for *_, price, bar in sorted(bars, key=lambda bar: Decimal(bar[2]))]
    assert by_price == sorted(by_price)
    total = sum(Decimal(rows[i][1]) for i in chosen)
    assert f"{len(chosen)} periods ({len(chosen)}h), total {total}, average {total / len(chosen):.4f}" in text


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    return path.name


HOURS = "timestamp,price\n2026-04-10T00:00,0.1\n2026-04-10T01:00,0.2\n2026-04-10T02:00,0.3\n"

# (file name, content, arguments, the whole message after "tariffsieve-plan: error: ")
BAD = [
    ("none.csv", "", ["--run", "1h"], "none.csv: empty input, no prices"),
    ("header.csv", "timestamp,price\n", ["--run", "1h"], "header.csv: no price rows after the header line"),
    ("empty.json", "[]", ["--run", "1h"], "empty.json: an empty list, no prices"),
    ("latin1.csv", b"timestamp,price\n2026-04-10T00:00,0.1 \xe9\n", ["--run", "1h"],
     "latin1.csv, line 2: not UTF-8 text (byte 0xe9)"),
    ("day.csv", HOURS, ["--run", "1h", "--price-column", "cost"],
     "day.csv, line 1: no column 'cost' in the header (timestamp, price)"),
    ("narrow.csv", "timestamp\n2026-04-10T00:00\n", ["--run", "1h"],
     "narrow.csv, line 1: expected a header with a timestamp column and a price column (got timestamp); "
     "--time-column and --price-column name them"),
    ("short.csv", HOURS + "2026-04-10T03:00\n", ["--run", "1h"],
     "short.csv, line 5: 1 column, but the price is in column 2"),
    ("stamp.csv", HOURS.replace("T01:00", " at one"), ["--run", "1h"],
     "stamp.csv, line 3: '2026-04-10 at one' is not an ISO 8601 timestamp (such as 2026-04-11T13:45 "
     "or 2026-04-11T13:45+02:00)"),
    ("gap.csv", HOURS + "2026-04-10T05:00,0.4\n2026-04-10T06:00,0.4\n", ["--run", "1h"],
     "gap.csv, line 5: 2 periods missing before '2026-04-10T05:00' (the one before is '2026-04-10T02:00', the "
     "series has one every 1h); on a clock-change day give --tz ZONE or timestamps with a UTC offset"),
    ("twice.csv", HOURS + "2026-04-10T02:00,0.4\n2026-04-10T03:00,0.4\n", ["--run", "1h"],
     "twice.csv, line 5: timestamp '2026-04-10T02:00' repeats the one before it ('2026-04-10T02:00'); on a "
     "clock-change day give --tz ZONE or timestamps with a UTC offset"),
    ("mixed.csv", HOURS.replace("T01:00", "T01:00+02:00"), ["--run", "1h"],
     "mixed.csv, line 3: '2026-04-10T01:00+02:00' has a UTC offset, unlike the timestamps before it"),
    ("price.csv", HOURS.replace("0.2", "0.2x"), ["--run", "1h"],
     "price.csv, line 3: the price '0.2x' is not a decimal number (unknown character)"),
    ("item.json", '[{"start": "2026-04-10T00:00", "price": "0.1"}, {"begin": "2026-04-10T01:00"}]', ["--run", "1h"],
     'item.json, item 2: no "start" (it has "begin")'),
    ("broken.json", '[{"start": "2026-04-10T00:00",\n "price": }]', ["--run", "1h"],
     "broken.json, line 2: not valid JSON (Expecting value)"),
    ("day.csv", HOURS, ["--run", "50min"], "--run 50min is not a whole number of periods: the series has a "
                                            "period every 1h, so 50min would be 0.83 periods"),
    ("day.csv", HOURS, ["--run", "2"], "--run 2: give a duration with a unit (4h, 45min, 1h30m), or add --periods "
                                        "to count periods"),
    ("day.csv", HOURS, ["--run", "2 hours"], "--run: '2 hours' is not a duration (write it as 4h, 45min, 1h30m "
                                              "or 2.5h)"),
    ("day.csv", HOURS, ["--run", "1h", "--cheap", "cheap"], "--cheap cheap: not a decimal number (unknown character)"),
    ("day.csv", HOURS, ["--run", "4h"], "min_selections cannot be greater than total number of items; the rules "
     "in periods: --run 4 (min_selections), --block 1 (min_consecutive_periods), --max-off 3 "
     "(max_gap_between_periods), --start-within 3 (max_gap_from_start), over 3 periods"),
    ("day.csv", HOURS, ["--run", "1h", "--from", "01:30", "--until", "02:00"],
     "--from 01:30 --until 02:00: no whole period of the series lies between them"),
    ("day.csv", HOURS, ["--run", "1h", "--tz", "Mars/Olympus"], "--tz Mars/Olympus: unknown time zone (an IANA name "
     "such as Europe/Berlin; without a system time zone database, `pip install tzdata`)"),
    ("missing.csv", None, ["--run", "1h"], "missing.csv: No such file or directory"),
    ("day.csv", HOURS, ["--run", "1h", "--strategy", "cheapest"], "argument --strategy: invalid choice: 'cheapest'..."),
]


@pytest.mark.parametrize("name, content, args, message", BAD, ids=[case[0] + " " + " ".join(case[2]) for case in BAD])
def test_bad_input_is_one_line_naming_the_fault(name, content, args, message, tmp_path):
    if content is not None:
        write(tmp_path, name, content)
    proc = run_cli(name, *args, cwd=tmp_path)
    assert (proc.returncode, proc.stdout) == (2, b"")
    stderr = proc.stderr.decode()
    if message.endswith("..."):  # argparse's own words, which vary between Python versions
        assert stderr.startswith(f"tariffsieve-plan: error: {message[:-3]}") and stderr.count("\n") == 1
        return
    assert stderr == f"tariffsieve-plan: error: {message}\n"


def test_standard_input_and_python_dash_m_agree():
    text = DAY.read_bytes()
    through_stdin = run_cli("-", *HEATER, stdin=text)
    module = subprocess.run([sys.executable, "-m", "tariffsieve_plan", "-", *HEATER], input=text,
                            capture_output=True, env=environment(), timeout=300)
    assert through_stdin.returncode == module.returncode == 0
    assert through_stdin.stdout == module.stdout == run_cli(DAY, *HEATER).stdout.replace(b"sample_day.csv",
                                                                                           b"standard input")


@pytest.mark.parametrize("text, seconds", [
    ("45min", 2700), ("1h30m", 5400), ("1h 30min", 5400), ("2.5h", 9000), (".5h", 1800), ("1d", 86400),
    ("90s", 90), ("0min", 0), ("4H", 14400), ("16", None), ("2.5", None),
])
def test_durations(text, seconds):
    assert parse_seconds(text) == seconds
    if seconds:
        assert parse_seconds(describe(seconds)) == seconds


@pytest.mark.parametrize("text", ["h", "1hh", "-1h", "1h30", "1.2.3h", "4 hours", "1month", ""])
def test_not_durations(text):
    with pytest.raises(ValueError, match="is not a duration"):
        parse_seconds(text)


@pytest.mark.parametrize("text, iso", [
    ("2026-04-11T13:45", "2026-04-11T13:45:00"),
    ("2026-04-11 13:45", "2026-04-11T13:45:00"),
    ("2026-04-11T13:45Z", "2026-04-11T13:45:00+00:00"),
    ("2026-04-11T13:45:00+0200", "2026-04-11T13:45:00+02:00"),
    ("2026-04-11T13:45-05", "2026-04-11T13:45:00-05:00"),
    ("2026-04-11T13:45:00.000+02:00", "2026-04-11T13:45:00+02:00"),
])
def test_timestamps_of_every_python_version(text, iso):
    assert parse_instant(text).isoformat() == iso


def test_from_now_starts_at_the_next_period(tmp_path):
    # Hourly prices from two hours before the current hour: now lies in period 2.
    hour = datetime.now(timezone.utc).replace(minute=0, second=0, microsecond=0) - timedelta(hours=2)
    text = "timestamp,price\n" + "".join(f"{hour + timedelta(hours=i):%Y-%m-%dT%H:%MZ},0.{i}\n" for i in range(6))
    (tmp_path / "now.csv").write_text(text)
    answer = plan_json(tmp_path / "now.csv", "--from", "now", "--run", "1h")
    assert answer["window"]["first_index"] in (2, 3)  # 2 only exactly on the hour
    assert answer["indices"] == [answer["window"]["first_index"]]


def test_a_decimal_comma_is_named(tmp_path):
    (tmp_path / "de.csv").write_text("Zeit;Preis\n2026-04-10T00:00;0,0812\n2026-04-10T01:00;0,0765\n")
    proc = run_cli("de.csv", "--run", "1h", cwd=tmp_path)
    assert proc.returncode == 2
    assert proc.stderr.decode() == ("tariffsieve-plan: error: de.csv, line 2: the price '0,0812' is not a decimal "
                                    "number (unknown character); write a decimal point, not a comma\n")
