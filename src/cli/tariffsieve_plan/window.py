# The part of a series to plan: --from and --until as clock times, instants
# or now, turned into the periods [first, end) that lie between them. A
# window the prices do not cover is refused unless the caller allows it.
import re
from bisect import bisect_right
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
    try:
        return f"{value.astimezone(zone):%a %Y-%m-%d %H:%M}"
    except OverflowError:  # an instant at the very end of year 9999, shown in a zone east of UTC
        return f"{value:%a %Y-%m-%d %H:%M} UTC"


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
    try:
        return "instant", moment.astimezone(timezone.utc) if moment.tzinfo else moment
    except OverflowError:
        raise BadInput(f"{option} {text}: lies outside the years 1 to 9999 in UTC") from None


def _clock_parts(option, text):
    match = _CLOCK.fullmatch(text.strip())
    hours, minutes, seconds = (int(part or 0) for part in match.groups())
    if hours > 24 or minutes > 59 or seconds > 59 or (hours == 24 and (minutes or seconds)):
        raise BadInput(f"{option} {text}: not a clock time")
    return timedelta(hours=hours, minutes=minutes, seconds=seconds)


def _offset_at(series, instant):
    """The UTC offset the series' clock shows at an instant: its zone's, or
    that of the period holding the instant (the first or last beyond them)."""
    if series.zone is not None:
        return instant.astimezone(series.zone).utcoffset()
    i = bisect_right(series.instants, instant) - 1
    return series.starts[max(i, 0)].utcoffset()


def _clock(series, option, text, after, inclusive):
    """The next time the series' clock shows the clock time given, at or after
    the moment `after` (strictly after unless inclusive): a wall time for a
    series without offsets, else the instant, so that a clock time in the
    repeated hour of an autumn night is its first occurrence."""
    clock = _clock_parts(option, text)
    kind, base = after
    if kind == "wall":
        moment = datetime.combine(base.date(), time(0)) + clock
        if moment < base or (moment == base and not inclusive):
            moment += timedelta(days=1)
        return "wall", moment
    offsets = {start.utcoffset() for start in series.starts} | {_offset_at(series, base)}
    try:
        day = (base + _offset_at(series, base)).date()
        for days in range(-1, 3):
            wall = datetime.combine(day + timedelta(days=days), time(0), timezone.utc) + clock
            for instant in sorted(wall - offset for offset in offsets):
                if _offset_at(series, instant) == wall - instant and (instant > base or
                                                                      (inclusive and instant == base)):
                    return "instant", instant
    except OverflowError:
        pass
    raise BadInput(f"{option} {text}: the series' clock never shows it after {_show(series, after)}")


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
    kind = "instant" if series.aware else "wall"
    base = (kind, _series_start(series, kind))
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
            found = (_clock(series, "--from", start, base, True) if _CLOCK.fullmatch(start.strip())
                     else _instant(series, "--from", start))
            first = next((i for i in range(count) if _starts_from(series, i, found)), count)
        if first == count:
            raise BadInput(f"--from {start} ({_show(series, found)}): the prices end before it, at "
                           f"{_show(series, ('instant', series.instants[-1] + series.resolution))}")
        if found[1] < _series_start(series, found[0]) and not partial:
            late = f"--from {start} ({_show(series, found)}) is before the first price, at " \
                   f"{_show(series, (found[0], _series_start(series, found[0])))}"
        base = found if found[0] == "wall" or _CLOCK.fullmatch(start.strip()) else \
            ("instant", series.instants[first]) if series.aware else ("wall", _wall(series.starts[first]))
    if until is not None:
        if until.strip() == "now":
            raise BadInput("--until now: give the end of the window as a clock time or a timestamp")
        found = (_clock(series, "--until", until, base, False) if _CLOCK.fullmatch(until.strip())
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

