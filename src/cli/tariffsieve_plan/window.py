# The part of a series to plan: --from and --until as clock times, instants
# or now, turned into the periods [first, end) that lie between them. A
# window the prices do not cover is refused unless the caller allows it.
import re
from datetime import datetime, time, timedelta, timezone

from tariffsieve_plan.errors import BadInput
from tariffsieve_prices.timestamps import parse_iso

_CLOCK = re.compile(r"(\d{1,2}):(\d\d)(?::(\d\d))?")


def _wall(moment):
    return moment.replace(tzinfo=None)


def _show(series, moment):
    """A moment found for an option, as the series' clock shows it."""
    kind, value = moment
    if kind == "wall" or value.tzinfo is None:
        return f"{value:%a %Y-%m-%d %H:%M}"
    zone = series.zone or series.starts[0].tzinfo
    return f"{value.astimezone(zone):%a %Y-%m-%d %H:%M}"


def _instant(series, option, text):
    """An ISO 8601 instant given for an option, comparable with the series' instants."""
    moment = parse_iso(text)
    if moment is None:
        raise BadInput(f"{option} {text}: not a clock time (18:00), an ISO 8601 timestamp or now")
    if moment.tzinfo is None and series.aware:
        zone = series.zone
        if zone is None:
            offsets = {start.utcoffset() for start in series.starts}
            if len(offsets) > 1:
                raise BadInput(f"{option} {text}: no UTC offset, and the timestamps' offsets change within the "
                               f"series; give one ({text}+01:00) or the time zone with --tz")
            zone = series.starts[0].tzinfo
        moment = moment.replace(tzinfo=zone)
    elif moment.tzinfo is not None and not series.aware:
        raise BadInput(f"{option} {text}: the timestamps have no UTC offset, so give none here either "
                       f"(or give their time zone with --tz)")
    return "instant", moment.astimezone(timezone.utc) if moment.tzinfo else moment


def _clock(option, text, after, inclusive):
    """The next wall time at the clock time given, at or after `after` (strictly after unless inclusive)."""
    match = _CLOCK.fullmatch(text.strip())
    hours, minutes, seconds = (int(part or 0) for part in match.groups())
    if hours > 24 or minutes > 59 or seconds > 59 or (hours == 24 and (minutes or seconds)):
        raise BadInput(f"{option} {text}: not a clock time")
    moment = datetime.combine(after.date(), time(0)) + timedelta(hours=hours, minutes=minutes, seconds=seconds)
    if moment < after or (moment == after and not inclusive):
        moment += timedelta(days=1)
    return "wall", moment


def _starts_from(series, i, moment):
    """Whether period i starts at or after the moment."""
    kind, value = moment
    return (_wall(series.starts[i]) if kind == "wall" else series.instants[i]) >= value


def _ends_after(series, i, moment):
    """Whether period i ends strictly after the moment."""
    kind, value = moment
    return (_wall(series.end(i)) if kind == "wall" else series.instants[i] + series.resolution) > value


def _series_end(series, kind):
    last = len(series) - 1
    return _wall(series.end(last)) if kind == "wall" else series.instants[last] + series.resolution


def _series_start(series, kind):
    return _wall(series.starts[0]) if kind == "wall" else series.instants[0]


def plan_window(series, start, until, partial, now):
    """[first, end) of the periods between --from and --until.

    A clock time (18:00) is its next occurrence from the start of the series
    (for --until: after the window's start) on the series' own clock; an ISO
    timestamp is that instant; now is the period running now. Where the
    window reaches before the first price or past the last, that is an error
    unless partial is set: a plan over part of the window can choose periods
    that a plan over all of it would not."""
    count = len(series)
    first, end = 0, count
    base = _wall(series.starts[0])
    late = None
    if start is not None:
        if start.strip() == "now":
            if not series.aware:
                raise BadInput("--from now: the timestamps have no UTC offset, so now cannot be placed among "
                               "them; give their time zone with --tz")
            found = ("instant", now)
            running = [i for i in range(count) if series.instants[i] + series.resolution > now]
            first = running[0] if running else count
        else:
            found = (_clock("--from", start, base, True) if _CLOCK.fullmatch(start.strip())
                     else _instant(series, "--from", start))
            first = next((i for i in range(count) if _starts_from(series, i, found)), count)
        if first == count:
            raise BadInput(f"--from {start} ({_show(series, found)}): the prices end before it, at "
                           f"{_show(series, ('instant', series.instants[-1] + series.resolution))}")
        if found[1] < _series_start(series, found[0]) and not partial:
            late = f"--from {start} ({_show(series, found)}) is before the first price, at " \
                   f"{_show(series, (found[0], _series_start(series, found[0])))}"
        base = found[1] if found[0] == "wall" else _wall(series.starts[first])
    if until is not None:
        if until.strip() == "now":
            raise BadInput("--until now: give the end of the window as a clock time or a timestamp")
        found = (_clock("--until", until, base, False) if _CLOCK.fullmatch(until.strip())
                 else _instant(series, "--until", until))
        end = next((i for i in range(first, count) if _ends_after(series, i, found)), count)
        if found[1] > _series_end(series, found[0]) and not partial and late is None:
            late = f"--until {until} ({_show(series, found)}) is after the last price, which ends " \
                   f"{_show(series, (found[0], _series_end(series, found[0])))}"
    if late is not None:
        raise BadInput(f"{late}: the prices do not cover the window; wait for them, or plan what they "
                       f"cover with --partial")
    if end <= first:
        raise BadInput(f"--from {start} --until {until}: no whole period of the series lies between them")
    return first, end

