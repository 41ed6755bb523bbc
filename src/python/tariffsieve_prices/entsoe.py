# ENTSO-E day-ahead price documents (A44 Publication_MarketDocument) read
# into price records, parsed by expat set up so a document can fetch nothing.
# A document may hold several TimeSeries: one a day for one area is one
# series and is joined; several areas, or two TimeSeries of one area over the
# same time (an hourly and a quarter-hourly one), are two readings, refused
# unless the caller picks by area code or TimeSeries number.
from __future__ import annotations

import re
from datetime import datetime, timedelta, timezone
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union
from xml.parsers import expat

from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.prices import price_text
from tariffsieve_prices.records import PriceRecord
from tariffsieve_prices.timestamps import parse_iso

# Digits are bounded so that int() never meets a number too long to convert.
_DURATION = re.compile(r"P(?:(\d{1,9})W)?(?:(\d{1,9})D)?(?:T(?:(\d{1,9})H)?(?:(\d{1,9})M)?(?:(\d{1,9})S)?)?", re.ASCII)
_POSITION = re.compile(r"[+-]?[0-9]{1,12}")
# The only elements whose text is kept, by (parent, element) local names,
# with the object (open TimeSeries, Period or Point) that holds each.
_FIELDS = {
    ("TimeSeries", "currency_Unit.name"): ("series", "currency"),
    ("TimeSeries", "price_Measure_Unit.name"): ("series", "measure"),
    ("TimeSeries", "curveType"): ("series", "curve"),
    ("TimeSeries", "in_Domain.mRID"): ("series", "in"),
    ("TimeSeries", "out_Domain.mRID"): ("series", "out"),
    ("TimeSeries", "classificationSequence_AttributeInstanceComponent.position"): ("series", "classification"),
    ("timeInterval", "start"): ("period", "start"),
    ("timeInterval", "end"): ("period", "end"),
    ("Period", "resolution"): ("period", "resolution"),
    ("Point", "position"): ("point", "position"),
    ("Point", "price.amount"): ("point", "amount"),
    ("Reason", "text"): ("reason", "text"),
}
Fields = Dict[str, Any]
# Left-out positions are filled in, so a short document could name millions:
# a year of quarter hours is 35,040.
_MOST_POSITIONS = 100_000
# A pick of TimeSeries by number: "2", or "TimeSeries 2" as messages name it.
_NUMBER = re.compile(r"(?:TimeSeries\s*)?([0-9]{1,9})", re.ASCII | re.IGNORECASE)
Span = Tuple[datetime, datetime]
_INVALID_TOKEN = expat.errors.codes[expat.errors.XML_ERROR_INVALID_TOKEN]


def _time(text: object, where: str, name: str) -> datetime:
    written = str(text).strip() if text is not None else ""
    # Documents write UTC ("Z"); an explicit offset is honoured, none means UTC. Only the T form is theirs.
    moment = parse_iso(written) if "T" in written else None
    try:
        if moment is not None:
            return moment.replace(tzinfo=timezone.utc) if moment.tzinfo is None else moment.astimezone(timezone.utc)
    except OverflowError:
        pass
    shown = "missing" if text is None else repr(written[:40]) + " is not a time like 2026-10-24T22:00Z"
    raise PriceDataError(f"{where}: timeInterval {name} {shown}")


def _duration(text: object, where: str) -> timedelta:
    if text is None:
        raise PriceDataError(f"{where}: Period has no resolution")
    written = str(text).strip()
    match = _DURATION.fullmatch(written)
    # Months and years vary in length, so they are not a step this reads.
    if match is None or not any(match.groups()) or written.endswith("T"):
        raise PriceDataError(f"{where}: resolution {written[:40]!r} is not a duration like PT15M, PT60M or P1D")
    weeks, days, hours, minutes, seconds = (int(part or 0) for part in match.groups())
    try:
        step = timedelta(weeks=weeks, days=days, hours=hours, minutes=minutes, seconds=seconds)
    except OverflowError:
        step = timedelta(0)
    if not step or step > timedelta(days=3660):
        raise PriceDataError(f"{where}: resolution {written[:40]!r} is not a usable step")
    return step


def _period_records(where: str, curve: str, period: Fields, out: List[PriceRecord]) -> Optional[Span]:
    """Appends the Period's records; returns the time they cover (None without a Point)."""
    start = _time(period.get("start"), where, "start")
    step = _duration(period.get("resolution"), where)
    count: Optional[int] = None
    if period.get("end") is not None:
        span = _time(period["end"], where, "end") - start
        if span <= timedelta(0) or span % step:
            raise PriceDataError(f"{where}: timeInterval is not a whole number of {period['resolution']} steps")
        count = span // step
    given: Dict[int, Tuple[str, int]] = {}
    for point in period["points"]:
        text, line = point.get("position"), point["line"]
        if text is None or not _POSITION.fullmatch(str(text).strip()):
            shown = "missing" if text is None else f"{str(text)[:40]!r} is not a position number"
            raise PriceDataError(f"{where}, Point at line {line}: position {shown}")
        position = int(str(text))
        at = f"{where}, position {position}"
        if position < 1:
            raise PriceDataError(f"{at} (line {line}): positions start at 1")
        if count is not None and position > count:
            raise PriceDataError(f"{at} (line {line}): beyond the period's end ({count} steps of {period['resolution']})")
        if position in given:
            raise PriceDataError(f"{at}: repeated (lines {given[position][1]} and {line})")
        if point.get("amount") is None:
            raise PriceDataError(f"{at} (line {line}): price.amount missing")
        given[position] = (price_text(point["amount"], at, "price.amount"), line)
    if not given:
        return None
    last = count if count is not None else max(given)
    if last > _MOST_POSITIONS:
        raise PriceDataError(f"{where}: {last} positions, more than the {_MOST_POSITIONS} read in one Period")
    try:
        start + (last - 1) * step
    except OverflowError:
        raise PriceDataError(f"{where}, position {last}: falls after the year 9999") from None
    if 1 not in given:
        raise PriceDataError(f"{where}, position 1: missing (a left-out position repeats the one before it)")
    repeated = 1
    for position in range(1, last + 1):
        moment = start + (position - 1) * step
        if position in given:
            repeated = position
            out.append(PriceRecord(moment, given[position][0], f"{where}, position {position}"))
        elif curve == "A01":
            raise PriceDataError(f"{where}, position {position}: missing (curveType A01 lists every position)")
        else:
            place = f"{where}, position {position} (repeats position {repeated})"
            out.append(PriceRecord(moment, given[repeated][0], place))
    try:
        return start, start + last * step
    except OverflowError:  # a last period ending with the year 9999
        return start, datetime.max.replace(tzinfo=timezone.utc)


class _Series:
    """One TimeSeries as read: its number in the document, its area, and its records."""

    def __init__(self, number: int, fields: Fields) -> None:
        self.number = number
        self.codes = {str(fields[key]) for key in ("in", "out") if fields.get(key)}
        self.area = str(fields.get("in") or fields.get("out") or "")
        self.unit = "/".join(str(fields[key]) for key in ("currency", "measure") if fields.get(key))
        steps = dict.fromkeys(str(period.get("resolution")) for period in fields["periods"])
        classification = fields.get("classification")
        details = list(steps) + ([f"classification position {classification}"] if classification else [])
        self.label = f"{number} ({', '.join(details)})" if details else str(number)
        self.records: List[PriceRecord] = []
        self.spans: List[Span] = []

    def picked_by(self, entry: str) -> bool:
        number = _NUMBER.fullmatch(entry)
        if number is not None:
            return int(number.group(1)) == self.number
        return entry.upper() in (code.upper() for code in self.codes)


def _listing(names: Sequence[str]) -> str:
    return names[0] if len(names) == 1 else f"{', '.join(names[:-1])} and {names[-1]}"


def _areas(all_series: Sequence[_Series]) -> Tuple[int, str, Tuple[str, ...]]:
    """How many areas the TimeSeries are of, the areas as a message names
    them, and the picks that choose each."""
    areas: Dict[str, List[_Series]] = {}
    for one in all_series:
        areas.setdefault(one.area, []).append(one)
    shown, picks = [], []
    for area, members in areas.items():
        shown.append(f"{area or 'no area'} (TimeSeries {', '.join(str(one.number) for one in members)})")
        picks += [area] if area else [str(one.number) for one in members]
    return len(areas), _listing(shown), tuple(picks)


def _picked(all_series: List[_Series], picks: Sequence[str]) -> List[_Series]:
    """The TimeSeries to read: those the picks name (several picks join), or
    all of them when they are the one reading of the document."""
    count, shown, choices = _areas(all_series)
    if not picks:
        if count > 1:
            raise PriceDataError(f"prices for {count} areas: {shown}; pick one by its code", "records", choices)
        return all_series
    for entry in picks:
        if not any(one.picked_by(entry) for one in all_series):
            numbers = tuple(str(one.number) for one in all_series)
            raise PriceDataError(f"{entry!r} is no area code or TimeSeries number of the document, which holds "
                                 f"{shown}", "records", choices if count > 1 else numbers)
    return [one for one in all_series if any(one.picked_by(entry) for entry in picks)]


def _refuse_overlaps(chosen: List[_Series]) -> None:
    """Two TimeSeries over the same time give each period two prices: which
    one is meant is the caller's choice, never a guess."""
    spans = sorted(((span, one) for one in chosen for span in one.spans), key=lambda item: item[0])
    involved: Dict[int, _Series] = {}
    first: Optional[datetime] = None
    # Swept in start order: a span overlaps another series' span when it
    # starts before the furthest end so far, held by that other series.
    reach, holder = spans[0][0][1], spans[0][1]
    for (start, end), one in spans[1:]:
        if holder is not one and start < reach:
            involved.update({holder.number: holder, one.number: one})
            first = first or start
        if end > reach:
            reach, holder = end, one
    if first is None:
        return
    named = sorted(involved.values(), key=lambda one: one.number)
    areas = {one.area for one in named}
    place = f" in {next(iter(areas))}" if len(areas) == 1 and "" not in areas else ""
    raise PriceDataError(f"{len(named)} TimeSeries give prices for the same time{place} (from "
                         f"{first:%Y-%m-%dT%H:%MZ}): {_listing([one.label for one in named])}; pick the ones to "
                         f"read by number", "records", tuple(str(one.number) for one in named))


def _one_unit(chosen: List[_Series]) -> str:
    for one in chosen:
        if one.unit != chosen[0].unit:
            raise PriceDataError(f"TimeSeries {one.number}: prices in {one.unit or 'no unit'}, but TimeSeries "
                                 f"{chosen[0].number} in {chosen[0].unit or 'no unit'}", "records",
                                 tuple(str(each.number) for each in chosen))
    return chosen[0].unit


class _Reader:
    """Expat handlers that keep only the fields above, series by series."""

    def __init__(self) -> None:
        self.parser = parser = expat.ParserCreate(namespace_separator=" ")
        parser.buffer_text = True
        parser.SetParamEntityParsing(expat.XML_PARAM_ENTITY_PARSING_NEVER)
        # No DTD at all: that leaves no entity to expand and nothing to fetch.
        parser.StartDoctypeDeclHandler = self.refuse
        parser.EntityDeclHandler = self.refuse
        parser.UnparsedEntityDeclHandler = self.refuse
        parser.ExternalEntityRefHandler = self.refuse
        parser.StartElementHandler = self.start
        parser.EndElementHandler = self.end
        parser.CharacterDataHandler = self.characters
        self.stack: List[str] = []
        self.text: Optional[List[str]] = None
        self.field: Optional[Tuple[str, str]] = None
        self.series: Optional[Fields] = None
        self.period: Optional[Fields] = None
        self.point: Optional[Fields] = None
        self.series_count = self.period_count = self.points = 0
        self.reason: Fields = {}
        self.root, self.root_line = "", 1
        self.read: List[_Series] = []

    def refuse(self, *args: object) -> None:
        raise PriceDataError(f"line {self.parser.CurrentLineNumber}: a DOCTYPE or entity declaration is not read in price data")

    def start(self, name: str, attributes: object) -> None:
        local = name.rpartition(" ")[2]
        if not self.stack:
            self.root, self.root_line = local, self.parser.CurrentLineNumber
            if local not in ("Publication_MarketDocument", "Acknowledgement_MarketDocument"):
                raise PriceDataError(f"line {self.root_line}: root element {local} is not an ENTSO-E Publication_MarketDocument")
        parent = self.stack[-1] if self.stack else ""
        self.stack.append(local)
        if local == "TimeSeries":
            self.series_count += 1
            self.series, self.period_count = {"periods": []}, 0
        elif local == "Period" and self.series is not None:
            self.period_count += 1
            self.period = {"points": [], "where": f"TimeSeries {self.series_count}, Period {self.period_count}"}
        elif local == "Point" and self.period is not None:
            self.point = {"line": self.parser.CurrentLineNumber}
        self.field = _FIELDS.get((parent, local))
        self.text = [] if self.field else None

    def characters(self, data: str) -> None:
        if self.text is not None:
            self.text.append(data)

    def end(self, name: str) -> None:
        local = self.stack.pop()
        if self.field is not None and self.text is not None:
            holder = getattr(self, self.field[0])
            if holder is not None:
                holder[self.field[1]] = "".join(self.text).strip()
        self.field, self.text = None, None
        if local == "Point" and self.point is not None:
            self.period["points"].append(self.point)
            self.points += 1
            self.point = None
        elif local == "Period" and self.period is not None:
            self.series["periods"].append(self.period)
            self.period = None
        elif local == "TimeSeries" and self.series is not None:
            self.finish_series(self.series)
            self.series = None

    def finish_series(self, fields: Fields) -> None:
        series = _Series(self.series_count, fields)
        curve = str(fields.get("curve") or "A03")
        if curve not in ("A01", "A03"):
            raise PriceDataError(f"TimeSeries {series.number}: curveType {curve} is not read (A01 lists every "
                                 f"position, A03 repeats left-out ones)")
        for period in fields["periods"]:
            span = _period_records(str(period["where"]), curve, period, series.records)
            if span is not None:
                series.spans.append(span)
        if series.spans:
            self.read.append(series)


def _malformed(error: expat.ExpatError, data: Union[str, bytes], at: int) -> str:
    where = f"line {error.lineno}"
    # Bytes in another encoding than the declared (or, undeclared, UTF-8) one
    # are named as such: "invalid token" alone would not say why.
    if isinstance(data, bytes) and 0 <= at < len(data) and data[at] >= 0x80 and error.code == _INVALID_TOKEN:
        return f"{where}: byte 0x{data[at]:02x} is not in the encoding the XML declaration names (UTF-8 if none)"
    return f"{where}: not well-formed XML ({expat.ErrorString(error.code)}, column {error.offset + 1})"


def read_entsoe(data: Union[str, bytes], records: Sequence[str] = ()) -> Tuple[List[PriceRecord], str]:
    """The records of an ENTSO-E day-ahead prices document (TimeSeries and
    Periods in document order, each Period by position, left-out positions
    filled) and the price field's name with its unit ("price.amount (EUR/MWH)").

    data: text, or bytes in the encoding the XML declaration names.
    records: the TimeSeries to read, each an area code (10YNL----------L) or
    a TimeSeries number ("2" or "TimeSeries 2"); several join. Default: all
    of them, when they are of one area and do not overlap in time."""
    reader = _Reader()
    try:
        reader.parser.Parse(data, True)
    except expat.ExpatError as error:
        raise PriceDataError(_malformed(error, data, reader.parser.ErrorByteIndex)) from None
    if reader.root == "Acknowledgement_MarketDocument":
        said = reader.reason.get("text") or "no reason given"
        raise PriceDataError(f"line {reader.root_line}: an Acknowledgement_MarketDocument, no prices: {said}")
    if not reader.points:
        raise PriceDataError(f"line {reader.root_line}: the Publication_MarketDocument holds no Point, no prices to read")
    chosen = _picked(reader.read, [entry.strip() for entry in records if entry.strip()])
    unit = _one_unit(chosen)
    _refuse_overlaps(chosen)
    found = [record for one in chosen for record in one.records]
    return found, f"price.amount ({unit})" if unit else "price.amount"
