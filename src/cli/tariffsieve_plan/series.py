# A price series read from CSV or JSON: timestamps as instants, prices as the
# text written, the resolution and the check that no period is missing or repeated.
import csv
import io
import json
import re
from datetime import datetime, time, timedelta, timezone
from decimal import Decimal

from tariffsieve_plan.durations import describe, parse_seconds
from tariffsieve_plan.errors import BadInput

# Offsets without a colon (+0200) and a trailing Z, which datetime.fromisoformat
# accepts only from Python 3.11 on.
_COMPACT_OFFSET = re.compile(r"(?<=\d)([+-]\d\d)(\d\d)$")
_HOUR_OFFSET = re.compile(r"(?<=:\d\d)([+-]\d\d)$")
_CLOCK = re.compile(r"(\d{1,2}):(\d\d)(?::(\d\d))?")


class Series:
    """One price series: for each period its timestamp text, its place in the
    input (for messages), its start as a datetime in the series' own zone or
    offset, its start and end as instants, and its price text."""

    __slots__ = ("name", "time_key", "price_key", "stamps", "places", "prices",
                 "times", "instants", "resolution", "aware", "zone")

    def end_time(self, i):
        """The end of period i, in the series' own zone or offset."""
        if i + 1 < len(self.times):
            return self.times[i + 1]
        last = self.times[i]
        if not self.aware:
            return last + self.resolution
        return (self.instants[i] + self.resolution).astimezone(self.zone or last.tzinfo)


def parse_instant(text):
    """The datetime an ISO 8601 timestamp spells (naive when it has no offset)."""
    spelled = text.strip()
    if spelled[-1:] in ("Z", "z"):
        spelled = spelled[:-1] + "+00:00"
    if "T" in spelled or " " in spelled:
        spelled = _HOUR_OFFSET.sub(r"\1:00", _COMPACT_OFFSET.sub(r"\1:\2", spelled))
    return datetime.fromisoformat(spelled)


def iso_text(moment):
    """ISO 8601 text of a datetime, to the minute when it has no seconds."""
    if moment.second == 0 and moment.microsecond == 0:
        return moment.isoformat(timespec="minutes")
    return moment.isoformat()


def read_bytes(path, stdin):
    if path == "-":
        return stdin.read(), "standard input"
    try:
        with open(path, "rb") as f:
            return f.read(), path
    except OSError as exc:
        raise BadInput(f"{path}: {exc.strerror or exc}") from None


def decode(data, name):
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as exc:
        line = data.count(b"\n", 0, exc.start) + 1
        raise BadInput(f"{name}, line {line}: not UTF-8 text (byte 0x{data[exc.start]:02x})") from None


def column_index(header, wanted, default, name, line):
    if wanted is None:
        return default
    names = [cell.strip() for cell in header]
    if wanted in names:
        return names.index(wanted)
    folded = [cell.lower() for cell in names]
    if wanted.lower() in folded:
        return folded.index(wanted.lower())
    if wanted.isdigit() and 1 <= int(wanted) <= len(names):
        return int(wanted) - 1
    raise BadInput(f"{name}, line {line}: no column '{wanted}' in the header ({', '.join(names)})")


def read_csv_rows(text, name, time_column, price_column):
    """(timestamp text, price text, place) of each row, and the two column names."""
    first_line = text.split("\n", 1)[0]
    delimiter = ","
    for other in (";", "\t"):
        if other in first_line and "," not in first_line:
            delimiter = other
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)
    header, rows = None, []
    try:
        for row in reader:
            if not any(cell.strip() for cell in row):
                continue
            if header is None:
                header, header_line = row, reader.line_num
                t = column_index(header, time_column, 0, name, header_line)
                p = column_index(header, price_column, 1, name, header_line)
                if max(t, p) >= len(header) or t == p:
                    raise BadInput(f"{name}, line {header_line}: expected a header with a timestamp column and "
                                   f"a price column (got {', '.join(header)}); --time-column and --price-column "
                                   f"name them")
                continue
            place = f"line {reader.line_num}"
            if len(row) <= max(t, p):
                raise BadInput(f"{name}, {place}: {len(row)} column{'s' * (len(row) != 1)}, but the "
                               f"{'price' if p > t else 'timestamp'} is in column {max(t, p) + 1}")
            rows.append((row[t].strip(), row[p].strip(), place))
    except csv.Error as exc:
        raise BadInput(f"{name}, line {reader.line_num}: {exc}") from None
    if not rows:
        raise BadInput(f"{name}: no price rows after the header line")
    return rows, header[t].strip(), header[p].strip()


def json_price(value, name, place, key):
    if isinstance(value, str) and value:
        return value
    if isinstance(value, JsonNumber):
        return value.text
    raise BadInput(f"{name}, {place}: \"{key}\" is {json.dumps(value)}, not a price")


class JsonNumber:
    """A JSON number kept as the text it was written as."""

    __slots__ = ("text",)

    def __init__(self, text):
        self.text = text


def read_json_rows(text, name, time_key, price_key):
    try:
        data = json.loads(text, parse_float=JsonNumber, parse_int=JsonNumber, parse_constant=JsonNumber)
    except json.JSONDecodeError as exc:
        raise BadInput(f"{name}, line {exc.lineno}: not valid JSON ({exc.msg})") from None
    if isinstance(data, dict):
        # An object that holds the list, as in {"prices": [...]}.
        lists = [value for value in data.values() if isinstance(value, list)]
        data = lists[0] if len(lists) == 1 else None
    time_key, price_key = time_key or "start", price_key or "price"
    if not isinstance(data, list):
        raise BadInput(f"{name}: expected a list of {{\"{time_key}\": ..., \"{price_key}\": ...}} objects")
    if not data:
        raise BadInput(f"{name}: an empty list, no prices")
    rows = []
    for number, item in enumerate(data, start=1):
        place = f"item {number}"
        if not isinstance(item, dict):
            raise BadInput(f"{name}, {place}: expected an object with \"{time_key}\" and \"{price_key}\"")
        for key in (time_key, price_key):
            if key not in item:
                raise BadInput(f"{name}, {place}: no \"{key}\" (it has {', '.join(map(json.dumps, item)) or 'none'})")
        stamp = item[time_key]
        if not isinstance(stamp, str):
            raise BadInput(f"{name}, {place}: \"{time_key}\" must be ISO 8601 text")
        rows.append((stamp.strip(), json_price(item[price_key], name, place, price_key), place))
    return rows, time_key, price_key


def load_zone(name):
    from zoneinfo import ZoneInfo  # only when asked: it costs start-up time

    try:
        return ZoneInfo(name)
    except Exception:  # ZoneInfoNotFoundError, or ValueError for a malformed key
        raise BadInput(f"--tz {name}: unknown time zone (an IANA name such as Europe/Berlin; without a system "
                       f"time zone database, `pip install tzdata`)") from None


def localise(naive, zone, previous):
    """The instant a naive wall time names in zone; in a repeated hour the later
    reading when the earlier one would not move the series forward."""
    moment = naive.replace(tzinfo=zone)
    if previous is not None and moment.astimezone(timezone.utc) <= previous:
        later = naive.replace(tzinfo=zone, fold=1)
        if later.astimezone(timezone.utc) > previous:
            return later
    return moment


def read_series(path, stdin, input_format, time_column, price_column, tz, resolution):
    data, name = read_bytes(path, stdin)
    text = decode(data, name)
    if not text.strip():
        raise BadInput(f"{name}: empty input, no prices")
    if input_format == "auto":
        input_format = "json" if name.lower().endswith(".json") or text.lstrip()[:1] in ("[", "{") else "csv"
    read = read_json_rows if input_format == "json" else read_csv_rows
    rows, time_key, price_key = read(text, name, time_column, price_column)

    series = Series()
    series.name = name.rsplit("/", 1)[-1] if path != "-" else name
    series.time_key, series.price_key = time_key, price_key
    series.stamps = [stamp for stamp, _, _ in rows]
    series.prices = [price for _, price, _ in rows]
    series.places = [f"{name}, {place}" for _, _, place in rows]
    series.zone = load_zone(tz) if tz else None
    times, instants = [], []
    for stamp, _, place in rows:
        try:
            moment = parse_instant(stamp)
        except ValueError:
            raise BadInput(f"{name}, {place}: '{stamp}' is not an ISO 8601 timestamp "
                           f"(such as 2026-04-11T13:45 or 2026-04-11T13:45+02:00)") from None
        aware = moment.tzinfo is not None
        if times and aware != series.aware:
            raise BadInput(f"{name}, {place}: '{stamp}' {'has a' if aware else 'has no'} UTC offset, "
                           f"unlike the timestamps before it")
        series.aware = aware
        if series.zone is not None:
            moment = (moment.astimezone(series.zone) if aware
                      else localise(moment, series.zone, instants[-1] if instants else None))
        times.append(moment)
        instants.append(moment.astimezone(timezone.utc) if moment.tzinfo else moment)
    series.aware = series.aware or series.zone is not None
    series.times, series.instants = times, instants
    series.resolution = check_regular(series, resolution)
    return series


def seconds_of(step):
    return Decimal(step // timedelta(microseconds=1)) / 1000000


def check_regular(series, declared):
    """The period length: declared, or the most common step; every step must be it."""
    instants = series.instants
    steps = [b - a for a, b in zip(instants, instants[1:])]
    if declared is not None:
        try:
            seconds = parse_seconds(declared)
        except ValueError as exc:
            raise BadInput(f"--resolution: {exc}") from None
        if not seconds:
            raise BadInput(f"--resolution {declared}: give a positive duration with a unit, such as 15min")
        resolution = timedelta(seconds=float(seconds))
    elif steps:
        counts = {}
        for step in steps:
            counts[step] = counts.get(step, 0) + 1
        # On a tie the shorter step: a missing period is likelier than an extra one.
        resolution = max(counts, key=lambda step: (counts[step], -step))
    else:
        raise BadInput(f"{series.places[0]}: one period only, which cannot tell the series' resolution; "
                       f"give --resolution (such as 1h)")
    hint = "" if series.aware else "; on a clock-change day give --tz ZONE or timestamps with a UTC offset"
    for i, step in enumerate(steps, start=1):
        if step == resolution:
            continue
        where, stamp, before = series.places[i], series.stamps[i], series.stamps[i - 1]
        if step <= timedelta(0):
            what = "repeats" if step == timedelta(0) else "is earlier than"
            raise BadInput(f"{where}: timestamp '{stamp}' {what} the one before it ('{before}'){hint}")
        if step > resolution and step % resolution == timedelta(0):
            missing = step // resolution - 1
            raise BadInput(f"{where}: {missing} period{'s' * (missing != 1)} missing before '{stamp}' "
                           f"(the one before is '{before}', the series has one every "
                           f"{describe(seconds_of(resolution))}){hint}")
        raise BadInput(f"{where}: timestamp '{stamp}' comes {describe(seconds_of(step))} after '{before}', "
                       f"but the series has a period every {describe(seconds_of(resolution))}{hint}")
    return resolution


def wall_clock(moment):
    return moment.replace(tzinfo=None)


def window(series, start, until):
    """[first, end) of the periods that lie between --from and --until.

    A clock time (18:00) means its next occurrence at or after the start of
    the series (for --until: after the window's start), on the series' own
    clock; an ISO timestamp means that instant."""
    count = len(series.times)
    first, end = 0, count
    base = wall_clock(series.times[0])
    if start is not None:
        found = moment_after(series, "--from", start, base, inclusive=True)
        first = next((i for i in range(count) if reached(series, i, found, "start")), count)
        if first == count:
            raise BadInput(f"--from {start}: the series ends before it")
        # --until's clock time is the next one after --from's, whether or not a period starts then.
        base = found[1] if found[0] == "wall" else wall_clock(series.times[first])
    if until is not None:
        found = moment_after(series, "--until", until, base, inclusive=False)
        end = next((i for i in range(first, count) if reached(series, i, found, "end", strictly=True)), count)
    if end <= first:
        raise BadInput(f"--from {start} --until {until}: no whole period of the series lies between them")
    return first, end


def moment_after(series, option, text, after, inclusive):
    """('wall', naive datetime) for a clock time, ('instant', datetime) for a timestamp."""
    if text.strip() == "now":
        # From now on: the first period that starts at or after this moment.
        moment = datetime.now(timezone.utc)
        return "instant", moment if series.aware else moment.astimezone().replace(tzinfo=None)
    clock = _CLOCK.fullmatch(text.strip())
    if clock:
        hours, minutes, seconds = (int(part or 0) for part in clock.groups())
        if hours > 24 or minutes > 59 or seconds > 59 or (hours == 24 and (minutes or seconds)):
            raise BadInput(f"{option} {text}: not a clock time")
        base = after
        moment = datetime.combine(base.date(), time(0)) + timedelta(hours=hours, minutes=minutes, seconds=seconds)
        if moment < base or (moment == base and not inclusive):
            moment += timedelta(days=1)
        return "wall", moment
    try:
        moment = parse_instant(text)
    except ValueError:
        raise BadInput(f"{option} {text}: not a clock time (18:00) or an ISO 8601 timestamp") from None
    if moment.tzinfo is None and series.aware:
        moment = localise(moment, series.zone or series.times[0].tzinfo, None)
    elif moment.tzinfo is not None and not series.aware:
        raise BadInput(f"{option} {text}: the series' timestamps have no UTC offset, so give none here either "
                       f"(or give the series' zone with --tz)")
    if moment.tzinfo is not None:
        moment = moment.astimezone(timezone.utc)
    return "instant", moment


def reached(series, i, found, edge, strictly=False):
    """Whether period i's start (or end) is at or past the moment found (strictly past for an end)."""
    kind, moment = found
    if kind == "wall":
        at = wall_clock(series.times[i] if edge == "start" else series.end_time(i))
    else:
        at = series.instants[i] if edge == "start" else series.instants[i] + series.resolution
    return at > moment if strictly else at >= moment
