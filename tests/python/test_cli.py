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
from cli_command import command, environment, run_in_process
from tariffsieve_schedule.durations import describe, parse_seconds
from tariffsieve_prices.timestamps import parse_iso as parse_instant

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
DAY = EXAMPLES / "sample_day.csv"
DAY_JSON = EXAMPLES / "sample_day.json"
TWO_DAYS = EXAMPLES / "sample_two_days_15min.csv"


def run_cli(*args, stdin=None, cwd=None, now=None):
    return run_in_process(args, stdin, cwd, now)


def plan_json(*args, stdin=None, now=None):
    proc = run_cli(*args, "--format", "json", stdin=stdin, now=now)
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
    # The threshold as given, or below every price: worked out here, not taken from the answer.
    threshold = args[args.index("--cheap") + 1] if "--cheap" in args else str(1 - 2 ** 96)
    assert request["low_price_threshold"] == threshold
    direct = tariffsieve.plan(prices[first:end], threshold, *counts, aggressive=strategy == "average")
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
        "tariffsieve-plan: error: autumn.csv, line 10 and line 14 both start at 2026-10-25T02:00:00, with prices "
        "0.36 and 0.54; on a clock-change day the timestamps need a UTC offset, or their time zone given "
        "(--tz ZONE)\n")


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
    ("empty.json", "[]", ["--run", "1h"], "empty.json: no prices (yet): the list is empty"),
    ("tomorrow.json", '{"raw_today": [], "raw_tomorrow": null}', ["--run", "1h"],
     "tomorrow.json: no prices (yet): raw_today is empty"),
    ("latin1.csv", b"timestamp,price\n2026-04-10T00:00,0.1 \xe9\n", ["--run", "1h"],
     "latin1.csv, line 2: the price '0.1 é' is not a decimal number"),
    ("day.csv", HOURS, ["--run", "1h", "--price-column", "cost"],
     "day.csv, line 1: no column 'cost' in the header (timestamp, price)"),
    ("narrow.csv", "timestamp\n2026-04-10T00:00\n", ["--run", "1h"],
     "narrow.csv, line 1: expected a header with a timestamp column and a price column (got timestamp); "
     "name them with --time-column and --price-column"),
    ("short.csv", HOURS + "2026-04-10T03:00\n", ["--run", "1h"],
     "short.csv, line 5: 1 column, but the price is in column 2"),
    ("stamp.csv", HOURS.replace("T01:00", " at one"), ["--run", "1h"],
     "stamp.csv, line 3: '2026-04-10 at one' is not a timestamp (ISO 8601 such as 2026-04-11T13:45+02:00, or "
     "Unix epoch seconds or milliseconds)"),
    ("gap.csv", HOURS + "2026-04-10T05:00,0.4\n2026-04-10T06:00,0.4\n", ["--run", "1h"],
     "gap.csv, line 5: 2 periods missing before 2026-04-10T05:00:00 (the one before starts at 2026-04-10T02:00:00, "
     "the series has one every 1h); on a clock-change day the timestamps need a UTC offset, or their time zone "
     "given (--tz ZONE)"),
    ("twice.csv", HOURS + "2026-04-10T02:00,0.4\n2026-04-10T03:00,0.4\n", ["--run", "1h"],
     "twice.csv, line 4 and line 5 both start at 2026-04-10T02:00:00, with prices 0.3 and 0.4; on a clock-change "
     "day the timestamps need a UTC offset, or their time zone given (--tz ZONE)"),
    ("mixed.csv", HOURS.replace("T01:00", "T01:00+02:00"), ["--run", "1h"],
     "mixed.csv, line 3: the start 2026-04-10T01:00:00+02:00 has a UTC offset, unlike the one at line 2"),
    ("price.csv", HOURS.replace("0.2", "0.2x"), ["--run", "1h"],
     "price.csv, line 3: the price '0.2x' is not a decimal number"),
    ("item.json", '[{"start": "2026-04-10T00:00", "price": "0.1"}, {"begin": "2026-04-10T01:00"}]', ["--run", "1h"],
     'item.json, item 2: no start (it has begin)'),
    ("broken.json", '[{"start": "2026-04-10T00:00",\n "price": }]', ["--run", "1h"],
     "broken.json, line 2: not valid JSON (Expecting value)"),
    ("day.csv", HOURS, ["--run", "50min"], "--run 50min is not a whole number of periods: the series has a "
                                            "period every 1h, so 50min would be 0.83 periods"),
    ("day.csv", HOURS, ["--run", "2"], "--run 2: give a duration with a unit (4h, 45min, 1h30m), or add --periods "
                                        "to count periods"),
    ("day.csv", HOURS, ["--run", "2 hours"], "--run: '2 hours' is not a duration (write it as 4h, 45min, 1h30m "
                                              "or 2.5h)"),
    ("day.csv", HOURS, ["--run", "1h", "--cheap", "cheap"], "--cheap cheap: not a decimal number (such as 0.0500)"),
    ("day.csv", HOURS, ["--run", "4h"], "min_selections cannot be greater than total number of items; the rules "
     "in periods: --run 4 (min_selections), --block 1 (min_consecutive_periods), --max-off 3 "
     "(max_gap_between_periods), --start-within 3 (max_gap_from_start), over 3 periods"),
    ("day.csv", HOURS, ["--run", "1h", "--from", "01:30", "--until", "02:00"],
     "--from 01:30 --until 02:00: no whole period of the series lies between them"),
    ("day.csv", HOURS, ["--run", "1h", "--tz", "Mars/Olympus"], "--tz: unknown time zone 'Mars/Olympus' (an IANA "
     "name such as Europe/Berlin; without a system time zone database, `pip install tzdata`)"),
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
    ("2026-04-11T00:00:00.0Z", "2026-04-11T00:00:00+00:00"),
    ("2026-04-11 00:00:00.1234567+00:00", "2026-04-11T00:00:00.123456+00:00"),
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


def test_a_decimal_comma_is_read_where_the_delimiter_leaves_one_reading(tmp_path):
    (tmp_path / "de.csv").write_text("Zeit;Preis\n2026-04-10T00:00;0,0812\n2026-04-10T01:00;0,0765\n")
    answer = plan_json(tmp_path / "de.csv", "--run", "1h")
    assert answer["indices"] == [1] and answer["average"] == "0.0765"


# Inputs that once gave a wrong plan with status 0: each is now right or one line and status 2.

def spring_day_with_offsets():
    """92 quarter hours of the spring clock-change day in Berlin, with offsets, and their prices."""
    zone = zone_or_skip("Europe/Berlin")
    start = datetime(2026, 3, 29, tzinfo=zone).astimezone(timezone.utc)
    stamps = [(start + timedelta(minutes=15 * i)).astimezone(zone) for i in range(92)]
    prices = [f"0.{(i * 37) % 89 + 10:02d}" for i in range(92)]
    return stamps, prices


def test_newest_first_plans_as_oldest_first(tmp_path):
    header, *rows = DAY.read_text().splitlines(keepends=True)
    (tmp_path / "newest.csv").write_text(header + "".join(reversed(rows)))
    for rules in (HEATER, ["--run", "6", "--block", "2", "--max-off", "8", "--start-within", "4", "--periods",
                           "--cheap", "0.0750"]):
        answer = plan_json(tmp_path / "newest.csv", *rules)
        assert answer["indices"] == tariffsieve.plan([p for _, p in rows_of(DAY)], "0.0750", 6, 2, 8, 4)
        assert answer["runs"][0]["start"] == "2026-04-10T02:00"
    assert run_cli(tmp_path / "newest.csv", *HEATER).stdout.decode().startswith(
        "newest.csv: 24 periods of 1h, Fri 2026-04-10 00:00 to Sat 2026-04-11 00:00\n")


def test_a_repeated_record_counts_once_and_a_conflicting_one_is_named(tmp_path):
    (tmp_path / "same.csv").write_text(HOURS.replace("timestamp,price\n", "timestamp,price\n2026-04-10T00:00,0.1\n"))
    assert plan_json(tmp_path / "same.csv", "--run", "1h")["indices"] == [0]
    # Another price for the first hour, newest first: named, with --periods as without.
    (tmp_path / "other.csv").write_text(HOURS.replace("timestamp,price\n", "timestamp,price\n2026-04-10T00:00,0.5\n"))
    for rules in (["1h"], ["1", "--periods"]):
        proc = run_cli("other.csv", "--run", *rules, cwd=tmp_path)
        assert proc.stderr.decode().startswith("tariffsieve-plan: error: other.csv, line 2 and line 3 both start at "
                                               "2026-04-10T00:00:00, with prices 0.5 and 0.1")


def test_a_file_without_a_header_keeps_its_first_row(tmp_path):
    rows = HOURS.split("\n", 1)[1].replace("0.1", "0.01")
    (tmp_path / "bare.csv").write_text(rows)
    assert plan_json(tmp_path / "bare.csv", "--run", "1h")["indices"] == [0]
    assert run_cli(tmp_path / "bare.csv", "--run", "1h", "--format", "csv").stdout.decode() == \
        "".join(f"{line},{int(i == 0)}\n" for i, line in enumerate(rows.splitlines()))


def test_a_window_past_the_prices_needs_partial(tmp_path):
    # Only Saturday is known: a night window reaching into Sunday must not be planned on Saturday alone.
    (tmp_path / "sat.csv").write_text("".join(line for line in TWO_DAYS.read_text().splitlines(keepends=True)
                                              if "2026-04-12" not in line and "2026-04-13" not in line))
    args = ["--from", "18:00", "--until", "07:00", "--run", "3h"]
    proc = run_cli("sat.csv", *args, cwd=tmp_path)
    assert (proc.returncode, proc.stderr.decode()) == (2, (
        "tariffsieve-plan: error: --until 07:00 (Sun 2026-04-12 07:00) is after the last price, which ends "
        "Sun 2026-04-12 00:00: the prices do not cover the window; wait for them, or plan what they cover "
        "with --partial\n"))
    assert plan_json(tmp_path / "sat.csv", *args, "--partial")["window"]["periods"] == 24
    proc = run_cli("sat.csv", "--from", "2026-04-10T22:00", "--run", "1h", cwd=tmp_path)
    assert proc.returncode == 2 and "is before the first price" in proc.stderr.decode()


def test_an_instant_without_offset_is_read_in_the_series_zone(tmp_path):
    stamps, prices = spring_day_with_offsets()
    text = "timestamp,price\n" + "".join(f"{t.isoformat()},{p}\n" for t, p in zip(stamps, prices))
    (tmp_path / "spring.csv").write_text(text)
    answer = plan_json(tmp_path / "spring.csv", "--tz", "Europe/Berlin", "--from", "2026-03-29T18:00", "--run", "1h")
    assert answer["window"]["start"] == "2026-03-29T18:00+02:00" and answer["window"]["first_index"] == 68
    # One offset throughout (the sample day's +02:00): an instant without one is read in it.
    assert plan_json(DAY_JSON, "--from", "2026-04-10T06:00", "--run", "1h")["window"]["first_index"] == 6
    proc = run_cli("spring.csv", "--from", "2026-03-29T18:00", "--run", "1h", cwd=tmp_path)
    assert (proc.returncode, proc.stderr.decode()) == (2, (
        "tariffsieve-plan: error: --from 2026-03-29T18:00: no UTC offset, and the timestamps' offsets change "
        "within the series; give one (2026-03-29T18:00+01:00) or the time zone with --tz\n"))


def test_from_now_starts_with_the_period_running_now(tmp_path):
    zone_or_skip("Europe/Berlin")
    (tmp_path / "day.csv").write_text(TWO_DAYS.read_text())
    now = datetime(2026, 4, 11, 16, 0, 0, 300000, tzinfo=timezone.utc)  # 18:00:00.3 in Berlin
    answer = plan_json(tmp_path / "day.csv", "--tz", "Europe/Berlin", "--from", "now", "--run", "15min",
                       "--until", "18:15", now=now)
    assert answer["window"] == {"start": "2026-04-11T18:00+02:00", "end": "2026-04-11T18:15+02:00",
                                "first_index": 72, "periods": 1}
    proc = run_cli("day.csv", "--from", "now", "--run", "1h", cwd=tmp_path, now=now)
    assert proc.returncode == 2 and "give their time zone with --tz" in proc.stderr.decode()


@pytest.mark.parametrize("setting", ["Europe/Berlin", ":/usr/share/zoneinfo/Europe/Berlin"])
def test_utc_prices_are_shown_in_the_machines_zone(monkeypatch, setting):
    zone_or_skip("Europe/Berlin")
    monkeypatch.setenv("TZ", setting)
    utc = "[" + ",".join(f'{{"start": "{t[:16]}:00Z", "price": "{p}"}}' for t, p in rows_of(TWO_DAYS)) + "]"
    answer = plan_json("-", "--from", "18:00", "--until", "07:00", "--run", "3h", stdin=utc.encode())
    assert answer["window"]["start"] == "2026-04-11T18:00+02:00" and answer["window"]["first_index"] == 64
    assert answer["source"]["times"] == "times in Europe/Berlin (this machine's zone)"
    assert answer["runs"][0]["start"].endswith("+02:00")
    monkeypatch.setenv("TZ", "UTC")
    assert plan_json("-", "--from", "18:00", "--run", "3h", stdin=utc.encode())["window"]["first_index"] == 72


def test_csv_answer_keeps_every_column_and_json_the_request_plan_got(tmp_path):
    (tmp_path / "wide.csv").write_text("timestamp;price;area\n" + "".join(
        f"{t};{p};DE\n" for t, p in reversed(rows_of(DAY))))
    table = [line.split(",") for line in run_cli(tmp_path / "wide.csv", *HEATER, "--format", "csv")
             .stdout.decode().splitlines()]
    chosen = tariffsieve.plan([p for _, p in rows_of(DAY)], "0.0750", 6, 2, 8, 4)
    assert table == [["timestamp", "price", "area", "chosen"]] + [
        [t, p, "DE", str(int(i in chosen))] for i, (t, p) in enumerate(rows_of(DAY))]
    answer = plan_json(DAY, *HEATER[:-1], "7.5e-2")
    assert answer["request"]["low_price_threshold"] == "0.075" and answer["indices"] == chosen


# Window edges on the hourly sample day, Fri 2026-04-10 00:00 to Sat 00:00:
# (--from, --until, the window's first index and length, or the error).
WINDOWS = [
    ("00:00", None, (0, 24)),
    ("2026-04-10T00:00", "24:00", (0, 24)),               # at the series' edges, no further
    ("06:30", "09:00", (7, 2)),                           # a period cut by --from is left out
    ("06:00", "08:30", (6, 2)),                           # and one cut by --until
    ("23:00", "07:00", "--until 07:00 (Sat 2026-04-11 07:00) is after the last price, which ends "
                       "Sat 2026-04-11 00:00"),
    ("2026-04-11T00:00", None, "--from 2026-04-11T00:00 (Sat 2026-04-11 00:00): the prices end before it"),
    ("24:30", None, "--from 24:30: not a clock time"),
    ("6pm", None, "--from 6pm: not a clock time (18:00), an ISO 8601 timestamp or now"),
    (None, "now", "--until now: give the end of the window as a clock time or a timestamp"),
]


@pytest.mark.parametrize("start, until, expected", WINDOWS)
def test_window_edges(start, until, expected):
    args = [DAY, "--run", "1h", "--format", "json"]
    args += ["--from", start] if start else []
    args += ["--until", until] if until else []
    proc = run_cli(*args)
    if isinstance(expected, str):
        assert proc.returncode == 2 and proc.stderr.decode().startswith(f"tariffsieve-plan: error: {expected}")
    else:
        window = json.loads(proc.stdout)["window"]
        assert (window["first_index"], window["periods"]) == expected


def test_a_price_at_the_threshold_is_cheap_and_none_is_without_one():
    prices = [p for _, p in rows_of(DAY)]
    at = sorted(prices)[8]
    # Most cheap periods: every period at or below the threshold that fits, the one equal to it included.
    answer = plan_json(DAY, "--run", "1h", "--cheap", at, "--strategy", "cheap-periods")
    assert prices.index(at) in answer["indices"]
    assert answer["indices"] == tariffsieve.plan(prices, at, 1, 1, 24, 24, aggressive=False)
    text = run_cli(DAY, "--run", "1h", "--cheap", at, "--strategy", "cheap-periods").stdout.decode()
    assert f", {sum(Decimal(prices[i]) <= Decimal(at) for i in answer['indices'])} cheap\n" in text
    assert plan_json(DAY, "--run", "1h", "--strategy", "cheap-periods")["indices"] == [prices.index(min(prices))]


@pytest.mark.parametrize("count, lines", [(48, 48), (49, 1 + 13)])  # beyond: a head row, then an hour a row
def test_the_chart_has_a_bar_a_period_up_to_48(tmp_path, count, lines):
    rows = rows_of(TWO_DAYS)[:count]
    (tmp_path / "q.csv").write_text("timestamp,price\n" + "".join(f"{t},{p}\n" for t, p in rows))
    chart = run_cli(tmp_path / "q.csv", "--run", "1h").stdout.decode().split("\n\n")[-1].splitlines()
    assert len(chart) == lines
    if count > 48:
        assert chart[0].split() == [":00", ":15", ":30", ":45"]


@pytest.mark.parametrize("args, message", [
    (["--per-row", "0"], "--per-row must be at least 1"),
    (["--block", "50min"], "--block 50min is not a whole number of periods"),
    (["--max-off", "1x"], "--max-off: '1x' is not a duration"),
    (["--start-within", "3"], "--start-within 3: give a duration with a unit"),
    (["--resolution", "0min"], "--resolution 0min: give a positive duration"),
    (["--run", "99999999999999999999h"], "a rule is too long: --run 99999999999999999999 periods, --block 1"),
])
def test_options_are_checked(args, message):
    proc = run_cli(DAY, "--run", "1h", *args)
    assert proc.returncode == 2 and proc.stderr.decode().startswith(f"tariffsieve-plan: error: {message}")


def test_charts_drawn_to_the_column(tmp_path):
    # Bars from -0.10 to 0.30 over 50 columns: 0.10 is column 25, where the threshold stands.
    (tmp_path / "g.csv").write_text("timestamp,price\n2026-04-10T00:00,0.30\n2026-04-10T01:00,-0.10\n"
                                    "2026-04-10T02:00,0.10\n2026-04-10T03:00,0.20\n")
    text = run_cli(tmp_path / "g.csv", "--run", "2h", "--cheap", "0.10").stdout.decode()
    assert text.split("\n\n", 1)[1] == (
        "  Fri 01:00-03:00  2h  average 0.00\n"
        "2 periods (2h), total 0.00, average 0.00, 2 cheap\n\n"
        "'#' chosen, '|' the threshold 0.10\n\n"
        "  00:00   0.30  " + "-" * 25 + "|" + "-" * 25 + "\n"
        "* 01:00  -0.10  #" + " " * 24 + "|\n"
        "* 02:00   0.10  " + "#" * 25 + "|\n"
        "  03:00   0.20  " + "-" * 25 + "|" + "-" * 13 + "\n")
    quarters = "".join(f"2026-04-10T0{1 + i // 4}:{15 * (i % 4):02d},0.{i}\n" for i in range(6))
    (tmp_path / "q.csv").write_text("timestamp,price\n" + quarters)
    text = run_cli(tmp_path / "q.csv", "--run", "30min", "--cheap", "0.2", "--per-row", "4").stdout.decode()
    assert text.split("\n\n")[-2:] == [
        "'#' chosen, '<' at or below the threshold 0.2; 4 periods a row",
        "          :00   :15   :30   :45\n* 01:00 #0.0< #0.1<  0.2<  0.3\n  02:00  0.4   0.5\n"]


def test_an_average_keeps_the_decimals_that_fit_below_2_to_the_96(tmp_path):
    big = "7922816251426433759354395"
    (tmp_path / "big.csv").write_text(f"t,p\n2026-04-10T00:00,{big}\n2026-04-10T01:00,{big}\n"
                                      f"2026-04-10T02:00,{big[:-1]}6\n")
    # 7922816251426433759354395.3333... : a fourth decimal would pass 2**96.
    assert plan_json(tmp_path / "big.csv", "--run", "3h")["average"] == big + ".333"


def test_a_threshold_below_every_price_stands_at_the_left_edge(tmp_path):
    (tmp_path / "low.csv").write_text("t,p\n2026-04-10T00:00,0.0001\n2026-04-10T01:00,0.0000\n")
    chart = run_cli(tmp_path / "low.csv", "--run", "1h", "--cheap", "-1.5").stdout.decode().split("\n\n")[-1]
    assert [line[17:18] for line in chart.splitlines()] == ["|", "|"]
