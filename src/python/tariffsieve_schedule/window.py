# The part of a series to plan: a start and an end given as datetimes, clock
# times (the next occurrence on the series' clock), ISO 8601 text or now,
# turned into the periods [first, end) that lie between them. A window the
# prices do not cover is refused unless the caller allows it.
import re
from bisect import bisect_left, bisect_right
from datetime import datetime, time, timedelta, timezone

from tariffsieve_prices import parse_timestamp
from tariffsieve_schedule.errors import WindowError

_CLOCK = re.compile(r"(\d{1,2}):(\d\d)(?::(\d\d))?")
_HALF_DAY = timedelta(hours=12)
_NOT_COVERED = ": the prices do not cover the window; wait for them, or plan what they cover"


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


def _instant(series, field, text, moment):
    """An instant given for a field (a datetime), comparable with the series' instants."""
    if moment.tzinfo is None and series.aware:
        zone = series.zone
        if zone is None:
            offsets = {start.utcoffset() for start in series.starts}
            if len(offsets) > 1:
                raise WindowError("{name} {text}: no UTC offset, and the timestamps' offsets change within the "
                                  "series; give one ({text}+01:00) or the time zone", field, "naive_offsets",
                                  text=text)
            zone = series.starts[0].tzinfo
        moment = moment.replace(tzinfo=zone)
    elif moment.tzinfo is not None and not series.aware:
        raise WindowError("{name} {text}: the timestamps have no UTC offset, so give none here either "
                          "(or give their time zone)", field, "aware_on_naive", text=text)
    try:
        return "instant", moment.astimezone(timezone.utc) if moment.tzinfo else moment
    except OverflowError:
        raise WindowError("{name} {text}: lies outside the years 1 to 9999 in UTC", field, "out_of_range",
                          text=text) from None


def _clock_parts(field, text, clock):
    """A clock time as the time since midnight: a datetime.time, or text 18:00 (24:00 is midnight)."""
    if isinstance(clock, time):
        return timedelta(hours=clock.hour, minutes=clock.minute, seconds=clock.second,
                         microseconds=clock.microsecond)
    hours, minutes, seconds = (int(part or 0) for part in _CLOCK.fullmatch(clock.strip()).groups())
    if hours > 24 or minutes > 59 or seconds > 59 or (hours == 24 and (minutes or seconds)):
        raise WindowError("{name} {text}: not a clock time", field, "not_clock", text=text)
    return timedelta(hours=hours, minutes=minutes, seconds=seconds)


def _offset_at(series, instant):
    """The UTC offset the series' clock shows at an instant: its zone's, or
    that of the period holding the instant (the first or last beyond them)."""
    if series.zone is not None:
        return instant.astimezone(series.zone).utcoffset()
    i = bisect_right(series.instants, instant) - 1
    return series.starts[max(i, 0)].utcoffset()


def _clock(series, field, text, clock, after, inclusive):
    """The next time the series' clock shows the clock time given, at or after
    the moment `after` (strictly after unless inclusive): a wall time for a
    series without offsets, else the instant, so that a clock time in the
    repeated hour of an autumn night is its first occurrence."""
    clock = _clock_parts(field, text, clock)
    kind, base = after
    if kind == "wall":
        moment = datetime.combine(base.date(), time(0)) + clock
        if moment < base or (moment == base and not inclusive):
            moment += timedelta(days=1)
        return "wall", moment
    try:
        day = (base + _offset_at(series, base)).date()
        for days in range(-1, 3):
            wall = datetime.combine(day + timedelta(days=days), time(0), timezone.utc) + clock
            if wall + _HALF_DAY + _HALF_DAY < base:  # no UTC offset reaches a day back
                continue
            # The offsets in force half a day either side are the only ones that can show this wall time.
            offsets = {_offset_at(series, wall - _HALF_DAY), _offset_at(series, wall + _HALF_DAY)}
            for instant in sorted(wall - offset for offset in offsets):
                if _offset_at(series, instant) == wall - instant and (instant > base or
                                                                      (inclusive and instant == base)):
                    return "instant", instant
    except OverflowError:
        pass
    raise WindowError("{name} {text}: the series' clock never shows it after {after}", field, "not_clock",
                      text=text, after=_show(series, after))


def _first_from(series, moment):
    """The first period that starts at or after the moment (len(series) if none)."""
    kind, value = moment
    # Both lists ascend: instants always, and wall times where the series has no offsets.
    return bisect_left(series.instants if kind == "instant" else series.starts, value)


def _first_ending_after(series, moment, first):
    """The first period from `first` on that ends strictly after the moment."""
    kind, value = moment
    return max(first, bisect_right(series.instants if kind == "instant" else series.starts,
                                   value - series.resolution))


def _series_end(series, kind):
    last = len(series) - 1
    return _wall(series.end(last)) if kind == "wall" else series.instants[last] + series.resolution


def _series_start(series, kind):
    return _wall(series.starts[0]) if kind == "wall" else series.instants[0]


def _given(series, field, value, now):
    """A start or end as given (None, "now", a clock time, an instant) read as
    ("now" | "clock" | "instant", the text shown, the value)."""
    if isinstance(value, time):
        return "clock", value.isoformat(timespec="minutes" if not value.second else "seconds"), value
    if isinstance(value, datetime):
        return "instant", value.isoformat(), value
    text = str(value).strip()
    if text == "now":
        return "now", text, now
    if _CLOCK.fullmatch(text):
        return "clock", text, text
    moment = parse_timestamp(text)
    if moment is None:
        raise WindowError("{name} {text}: not a clock time (18:00), an ISO 8601 timestamp or now", field,
                          "not_time", text=text)
    return "instant", text, moment


def _start(series, given, partial):
    """The first period of a window from its start, the start found, the base
    from which an end clock time is the next, and whether it is before the prices."""
    count = len(series)
    kind, text, value = given
    if kind == "now":
        if not series.aware:
            raise WindowError("{name} now: the timestamps have no UTC offset, so now cannot be placed among them; "
                              "give their time zone", "start", "now_naive", text=text)
        found = ("instant", value)
        first = _first_ending_after(series, ("instant", value), 0)
    else:
        found = (_clock(series, "start", text, value, _base(series), True) if kind == "clock"
                 else _instant(series, "start", text, value))
        first = _first_from(series, found)
    if first == count:
        raise WindowError("{name} {text} ({shown}): the prices end before it, at {last}", "start", "after_prices",
                          text=text, shown=_show(series, found),
                          last=_show(series, ("instant", series.instants[-1] + series.resolution)))
    late = None
    if found[1] < _series_start(series, found[0]) and not partial:
        late = WindowError("{name} {text} ({shown}) is before the first price, at {first}" + _NOT_COVERED, "start",
                           "not_covered", text=text, shown=_show(series, found),
                           first=_show(series, (found[0], _series_start(series, found[0]))))
    base = found if found[0] == "wall" or kind == "clock" else \
        ("instant", series.instants[first]) if series.aware else ("wall", _wall(series.starts[first]))
    return first, base, late


def _base(series):
    kind = "instant" if series.aware else "wall"
    return kind, _series_start(series, kind)


def plan_window(series, start=None, end=None, partial=False, now=None):
    """[first, end) of the periods between start and end.

    Each is None (the series' own start or end), a datetime (an instant; a
    naive one in the series' zone), a datetime.time or text such as 18:00 (a
    clock time: its next occurrence on the series' own clock from the start
    of the series, for the end after the window's start), ISO 8601 text, or
    "now" for the start (the period running at `now`, an aware datetime).
    Where the window reaches before the first price or past the last, that
    is a WindowError unless partial is set: a plan over part of the window
    can choose periods that a plan over all of it would not."""
    count = len(series)
    first, last = 0, count
    base = _base(series)
    late = None
    start_text = end_text = None
    if start is not None:
        given = _given(series, "start", start, now or datetime.now(timezone.utc))
        start_text = given[1]
        first, base, late = _start(series, given, partial)
    if end is not None:
        kind, end_text, value = _given(series, "end", end, None)
        if kind == "now":
            raise WindowError("{name} now: give the end of the window as a clock time or a timestamp", "end",
                              "now_end", text=end_text)
        found = (_clock(series, "end", end_text, value, base, False) if kind == "clock"
                 else _instant(series, "end", end_text, value))
        last = _first_ending_after(series, found, first)
        if found[1] > _series_end(series, found[0]) and not partial and late is None:
            late = WindowError("{name} {text} ({shown}) is after the last price, which ends {last}" + _NOT_COVERED,
                               "end", "not_covered", text=end_text, shown=_show(series, found),
                               last=_show(series, (found[0], _series_end(series, found[0]))))
    if late is not None:
        raise late
    if last <= first:
        raise WindowError("{name_start} {start} {name} {text}: no whole period of the series lies between them",
                          "end", "empty", start=start_text, text=end_text)
    return first, last
