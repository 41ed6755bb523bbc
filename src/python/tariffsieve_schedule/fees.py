# A fee table: the part of a price that depends on the clock (grid fees by
# time of day, per weekday and per season), read from a small line format
# that needs only the standard library. A table must give exactly one fee for
# every minute of every day of the year: a table with a gap or two fees for
# one minute is refused naming its lines, never settled by line order.
from __future__ import annotations

import re
from dataclasses import dataclass
from datetime import date, datetime
from decimal import Decimal
from pathlib import Path
from typing import Optional, Union

from tariffsieve_schedule.errors import TariffError

DAYS = ("mon", "tue", "wed", "thu", "fri", "sat", "sun")
_ALL_DAYS = frozenset(range(7))
_CLOCK = re.compile(r"(\d\d):(\d\d)")
_DAY_OF_YEAR = re.compile(r"(\d\d)-(\d\d)")
_NUMBER = re.compile(r"[+-]?(\d+(\.\d*)?|\.\d+)")
# Every date a season may hold, 29 February included (a leap year).
_YEAR = [(d.month, d.day) for d in (date.fromordinal(date(2024, 1, 1).toordinal() + i) for i in range(366))]


@dataclass(frozen=True)
class Season:
    """Dates from `first` to `last` (month, day), both included; wraps the new year where last < first."""

    name: str
    first: "tuple[int, int]"
    last: "tuple[int, int]"
    line: int

    def holds(self, month_day: "tuple[int, int]") -> bool:
        if self.first <= self.last:
            return self.first <= month_day <= self.last
        return month_day >= self.first or month_day <= self.last


@dataclass(frozen=True)
class FeeBand:
    """A fee from clock minute `start` to `end` (0 to 1440; across midnight where end <= start),
    on the weekdays `days` (0 is Monday) of the season `season` (None: every season)."""

    start: int
    end: int
    fee: Decimal
    days: "frozenset[int]"
    season: Optional[str]
    line: int


@dataclass(frozen=True)
class FeeTable:
    """Fee bands by clock time; `name` says where the table came from (a file name)."""

    bands: "tuple[FeeBand, ...]"
    seasons: "tuple[Season, ...]" = ()
    name: str = "fees"

    def band_at(self, wall: datetime) -> FeeBand:
        """The band in force at a wall-clock time (its own date's weekday and season)."""
        season = self.season_of(wall)
        minute = wall.hour * 60 + wall.minute
        for band in self.bands:
            if wall.weekday() in band.days and band.season in (None, season) and _within(band, minute):
                return band
        raise AssertionError("a checked table covers every minute")  # pragma: no cover

    def season_of(self, wall: datetime) -> Optional[str]:
        for season in self.seasons:
            if season.holds((wall.month, wall.day)):
                return season.name
        return None

    @classmethod
    def load(cls, path: "Union[str, Path]") -> "FeeTable":
        """The table in a file (UTF-8 text), named after the file."""
        path = Path(path)
        try:
            text = path.read_text(encoding="utf-8-sig")
        except (OSError, UnicodeDecodeError) as exc:
            raise TariffError("{name}: {file}: {text}", "price_model", "unreadable", file=path.name,
                              text=getattr(exc, "strerror", None) or str(exc), lines=[]) from None
        return read_fees(text, path.name)


def _within(band: FeeBand, minute: int) -> bool:
    if band.start < band.end:
        return band.start <= minute < band.end
    return minute >= band.start or minute < band.end


def _error(reason: str, template: str, name: str, lines: "list[int]", **values: object) -> TariffError:
    return TariffError("{name}: {file}, " + template, "price_model", reason, file=name, lines=lines, **values)


def _clock(token: str, line: int, name: str) -> int:
    match = _CLOCK.fullmatch(token)
    minute = int(match.group(1)) * 60 + int(match.group(2)) if match else -1
    if not match or int(match.group(2)) > 59 or minute > 1440:
        raise _error("fee_syntax", "line {line}: {token} is not a clock time (00:00 to 24:00)", name, [line],
                     line=line, token=token)
    return minute


def _days(token: str) -> "frozenset[int] | None":
    """Weekdays as written (mon-fri, sat,sun, all); None when the token is none."""
    if token in ("all", "daily"):
        return _ALL_DAYS
    days: set = set()
    for part in token.split(","):
        ends = part.split("-")
        if len(ends) > 2 or any(end not in DAYS for end in ends):
            return None
        first, last = DAYS.index(ends[0]), DAYS.index(ends[-1])
        days.update(range(first, last + 1) if first <= last else [*range(first, 7), *range(0, last + 1)])
    return frozenset(days)


def _season(tokens: "list[str]", line: int, name: str) -> Season:
    found = [_DAY_OF_YEAR.fullmatch(token) for token in tokens[2:]]
    if len(tokens) != 4 or not all(found) or tokens[1] in ("all", "daily") or _days(tokens[1]) is not None:
        raise _error("fee_syntax", "line {line}: write a season as: season NAME MM-DD MM-DD (its first and "
                     "last day)", name, [line], line=line)
    first, last = ((int(m.group(1)), int(m.group(2))) for m in found)
    for month_day, token in ((first, tokens[2]), (last, tokens[3])):
        if month_day not in _YEAR:
            raise _error("fee_syntax", "line {line}: {token} is no day of the year", name, [line], line=line,
                         token=token)
    return Season(tokens[1], first, last, line)


def _band(tokens: "list[str]", line: int, name: str, seasons: "dict[str, Season]") -> FeeBand:
    if len(tokens) < 3 or not _NUMBER.fullmatch(tokens[-1]):
        raise _error("fee_syntax", "line {line}: write a band as: [SEASON] [DAYS] FROM TO FEE (such as "
                     "mon-fri 06:00 22:00 0.05)", name, [line], line=line)
    start, end = _clock(tokens[-3], line, name), _clock(tokens[-2], line, name)
    season, days = None, None
    for token in tokens[:-3]:
        if token in seasons and season is None:
            season = token
        elif _days(token) is not None and days is None:
            days = _days(token)
        else:
            raise _error("fee_syntax", "line {line}: {token} is neither a season ({seasons}) nor weekdays "
                         "(mon-fri, sat,sun, all)", name, [line], line=line, token=token,
                         seasons=", ".join(seasons) or "none declared")
    if start == end or start == 1440:
        raise _error("fee_syntax", "line {line}: {start} to {end} is no band; the whole day is 00:00 24:00", name,
                     [line], line=line, start=tokens[-3], end=tokens[-2])
    if end < start and end != 0 and days not in (None, _ALL_DAYS):
        # Mon-fri 22:00 06:00 is read two ways: the night after each of those days, or both ends of each day.
        raise _error("midnight_days", "line {line}: {start} to {end} crosses midnight on some weekdays only, which "
                     "reads two ways: split it into the evening ({start} 24:00) and the morning (00:00 {end}), "
                     "each with the weekdays it is meant for", name, [line], line=line, start=tokens[-3],
                     end=tokens[-2])
    return FeeBand(start, end % 1440, Decimal(tokens[-1]), days or _ALL_DAYS, season, line)


def read_fees(text: str, name: str = "fees") -> FeeTable:
    """A fee table from its text: `season NAME MM-DD MM-DD` lines and band lines
    `[SEASON] [DAYS] FROM TO FEE`; # starts a comment."""
    lines = [(number, raw.split("#", 1)[0].split()) for number, raw in enumerate(text.splitlines(), start=1)]
    lines = [(number, tokens) for number, tokens in lines if tokens]
    seasons = {}
    for number, tokens in lines:
        if tokens[0] == "season":
            season = _season(tokens, number, name)
            if season.name in seasons:
                raise _error("fee_syntax", "lines {first} and {line} both declare the season {season}", name,
                             [seasons[season.name].line, number], first=seasons[season.name].line, line=number,
                             season=season.name)
            seasons[season.name] = season
    bands = tuple(_band(tokens, number, name, seasons) for number, tokens in lines if tokens[0] != "season")
    if not bands:
        raise _error("fee_syntax", "no fee bands", name, [])
    table = FeeTable(bands, tuple(seasons.values()), name)
    _check_seasons(table)
    _check_bands(table)
    return table


def _check_seasons(table: FeeTable) -> None:
    if not table.seasons:
        return
    for month_day in _YEAR:
        holding = [season for season in table.seasons if season.holds(month_day)]
        if len(holding) != 1:
            lines = [season.line for season in (holding or table.seasons)]
            day = "%02d-%02d" % month_day
            if holding:
                raise _error("season_overlap", "lines {lines_text}: the seasons {seasons} each hold {day}", table.name,
                             lines, lines_text=_and(lines), seasons=_and([s.name for s in holding]), day=day)
            raise _error("season_gap", "lines {lines_text}: no season holds {day}", table.name, lines,
                         lines_text=_and(lines), day=day)


def _and(items: "list") -> str:
    items = [str(item) for item in items]
    return ", ".join(items[:-1]) + " and " + items[-1] if len(items) > 1 else "".join(items)


def _check_bands(table: FeeTable) -> None:
    """Exactly one band for each minute of each weekday of each season."""
    for season in [s.name for s in table.seasons] or [None]:
        for day in range(7):
            pieces = sorted(piece for band in table.bands if day in band.days and band.season in (None, season)
                            for piece in _pieces(band))
            covered, last = 0, 0
            for start, end, line in pieces:
                if start != covered:
                    _refuse_minutes(table, season, day, min(start, covered), max(start, min(end, covered)),
                                    [last, line] if start < covered else [])
                if end > covered:  # the line that reaches furthest is the one a later band meets
                    covered, last = end, line
            if covered < 1440:
                _refuse_minutes(table, season, day, covered, 1440, [])


def _pieces(band: FeeBand) -> "list[tuple[int, int, int]]":
    """A band as minute ranges within a day: two for a band across midnight."""
    if band.start < band.end:
        return [(band.start, band.end, band.line)]
    return [piece for piece in ((band.start, 1440, band.line), (0, band.end, band.line)) if piece[0] < piece[1]]


def _refuse_minutes(table: FeeTable, season: Optional[str], day: int, first: int, end: int,
                    lines: "list[int]") -> None:
    """A stretch of minutes with no band, or with two, named with its lines."""
    when = f"{(season + ' ') if season else ''}{DAYS[day]} {first // 60:02d}:{first % 60:02d}-" \
           f"{end // 60:02d}:{end % 60:02d}"
    if lines:
        raise _error("fee_overlap", "lines {lines_text} both give a fee for {when}", table.name, lines,
                     lines_text=_and(lines), when=when)
    raise _error("fee_gap", "no line gives a fee for {when}", table.name, [], when=when)
