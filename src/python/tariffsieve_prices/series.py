# A price series in time order: records sorted by their instants, exact
# repeats dropped, conflicting ones refused, and one step between periods.
from datetime import datetime, timedelta, timezone, tzinfo

from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.records import PriceRecord

_ZERO = timedelta(0)
_NAIVE_HINT = "; on a clock-change day the timestamps need a UTC offset, or their time zone given"


def describe_step(step: timedelta) -> str:
    """15min, 1h, 1h30min, 1d, 90s."""
    seconds = int(step.total_seconds())
    parts = []
    for unit, size in (("d", 86400), ("h", 3600), ("min", 60)):
        if seconds >= size:
            parts.append(f"{seconds // size}{unit}")
            seconds %= size
    if seconds or not parts:
        parts.append(f"{seconds}s")
    return "".join(parts)


class PriceSeries:
    """Periods in time order: `starts` in the series' zone (or as written when
    naive), `instants` (UTC, or naive), `prices` as decimal text, `places` in
    the input, `sources` (the records as read), one `resolution`, the fields
    read (`time_field`, `price_field`), the JSON `lists` read, the `zone`
    (None: as written), and the CSV `header` (None without one)."""

    __slots__ = ("name", "starts", "instants", "prices", "places", "sources", "resolution", "time_field",
                 "price_field", "lists", "zone", "aware", "utc", "header", "kind")
    name: str
    starts: "list[datetime]"
    instants: "list[datetime]"
    prices: "list[str]"
    places: "list[str]"
    sources: "list[object]"
    resolution: timedelta
    time_field: str
    price_field: str
    lists: "tuple[str, ...]"
    zone: "tzinfo | None"
    aware: bool
    utc: bool
    header: "list[str] | None"
    kind: str

    def __len__(self) -> int:
        return len(self.starts)

    def end(self, i: int) -> datetime:
        """The end of period i, in the series' zone or offset."""
        if i + 1 < len(self.starts):
            return self.starts[i + 1]
        if not self.aware:
            return self.starts[i] + self.resolution
        return (self.instants[i] + self.resolution).astimezone(self.zone or self.starts[i].tzinfo)

    def in_zone(self, zone: tzinfo) -> "PriceSeries":
        """The same series with its times shown in zone (aware series only)."""
        other = PriceSeries()
        for slot in PriceSeries.__slots__:
            setattr(other, slot, getattr(self, slot))
        other.zone = zone
        other.starts = [moment.astimezone(zone) for moment in self.instants]
        return other


def _folds(naive: datetime, zone: tzinfo) -> "tuple[datetime, datetime]":
    """The two instants a wall time may name in zone (equal outside a repeated hour)."""
    return (naive.replace(tzinfo=zone).astimezone(timezone.utc),
            naive.replace(tzinfo=zone, fold=1).astimezone(timezone.utc))


def _direction(walls: list, block: "list[int]") -> int:
    """Whether the input runs forward (1) or backward (-1) through the
    records at positions `block` (a contiguous run of the input), by the
    steps between them and their neighbours; 0 where that cannot be told."""
    low, high = max(block[0] - 1, 0), min(block[-1] + 1, len(walls) - 1)
    ups = sum(walls[i + 1] > walls[i] for i in range(low, high))
    downs = sum(walls[i + 1] < walls[i] for i in range(low, high))
    return (ups > downs) - (downs > ups)


def _repeated_hour(records: "list[PriceRecord]", block: "list[int]", zone: tzinfo, at) -> "dict[int, int]":
    """The fold of each record of one night's repeated hour (positions in the
    input, ascending): where a wall time comes twice with different prices,
    the input's direction through the hour says which is which."""
    walls = [record.start for record in records]
    contiguous = block[-1] - block[0] + 1 == len(block)
    direction = _direction(walls, block) if contiguous else 0
    folds: dict = {}
    seen: dict = {}
    for i in block:
        seen.setdefault(walls[i], []).append(i)
    for wall, places in seen.items():
        if len(places) == 1:
            folds[places[0]] = 0
            continue
        prices = {records[i].price for i in places}
        if len(places) != 2 or (len(prices) > 1 and direction == 0):
            raise PriceDataError(f"{at(records[places[0]].place)} and {records[places[1]].place} both start at "
                                 f"{wall.isoformat()}, the repeated hour of a clock change, and their order in the "
                                 f"input does not tell which comes first; give the timestamps with their UTC offset",
                                 "zone")
        first, second = places if direction >= 0 else places[::-1]
        folds[first], folds[second] = 0, 1
    return folds


def _wall_instants(records: "list[PriceRecord]", zone: tzinfo, at) -> list:
    """The instants of wall times in zone. Only the repeated hour of an autumn
    night needs more than the wall time: its records are told apart by the
    input's own direction through that hour, never by its first and last rows."""
    readings = [_folds(record.start, zone) for record in records]
    instants = [early for early, _ in readings]
    nights: dict = {}
    for i, (early, late) in enumerate(readings):
        if early != late:
            nights.setdefault(records[i].start.date(), []).append(i)
    for block in nights.values():
        for i, fold in _repeated_hour(records, block, zone, at).items():
            instants[i] = readings[i][fold]
    return instants


def _instants(records: "list[PriceRecord]", zone: "tzinfo | None", at) -> "tuple[list, bool, bool]":
    """Each record's instant (UTC, or naive), whether they are aware and all at offset zero."""
    aware = records[0].start.tzinfo is not None
    for record in records:
        if (record.start.tzinfo is not None) != aware:
            raise PriceDataError(f"{at(record.place)}: the start {record.start.isoformat()} "
                                 f"{'has a' if not aware else 'has no'} UTC offset, unlike the one at "
                                 f"{records[0].place}")
    if aware:
        utc = all(record.start.utcoffset() == _ZERO for record in records)
        return [record.start.astimezone(timezone.utc) for record in records], True, utc
    if zone is None:
        return [record.start for record in records], False, False
    return _wall_instants(records, zone, at), True, False


def _on_the_minute(records: "list[PriceRecord]") -> None:
    """Starts one second past the minute (02:55:01, as some sources write the
    second after the last period's end) are the periods that start on it."""
    if all(record.start.second == 1 and record.start.microsecond == 0 for record in records):
        for record in records:
            record.start -= timedelta(seconds=1)


def _differences(first: object, second: object) -> str:
    if isinstance(first, dict) and isinstance(second, dict):
        keys = [key for key in first if key in second and first[key] != second[key]]
        if keys:
            return " (they differ in " + ", ".join(map(str, keys[:4])) + ")"
    return ""


def _drop_repeats(order: "list[int]", instants: list, records: "list[PriceRecord]", lists: "tuple[str, ...]",
                  name: str, at) -> "list[int]":
    kept: list = []
    for i in order:
        if kept and instants[i] == instants[kept[-1]]:
            j = kept[-1]
            one, other = records[j], records[i]
            if one.price == other.price and (one.source == other.source or one.source is None):
                continue  # the same record twice, as where two lists overlap
            if one.origin and other.origin and one.origin != other.origin:
                raise PriceDataError(f"{name + ': ' if name else ''}{one.origin} and {other.origin} hold different "
                                     f"prices for the same periods (both start at {records[i].start.isoformat()}): "
                                     f"pick one of the lists", "records", lists)
            hint = "" if records[i].start.tzinfo else _NAIVE_HINT
            raise PriceDataError(f"{at(one.place)} and {other.place} both start at {records[i].start.isoformat()}, "
                                 f"with prices {one.price} and {other.price}"
                                 f"{_differences(one.source, other.source)}{hint}", "zone" if hint else None)
        kept.append(i)
    return kept


def _resolution(series: PriceSeries, declared: "timedelta | None", at) -> timedelta:
    instants = series.instants
    steps = [b - a for a, b in zip(instants, instants[1:])]
    if declared is not None:
        if declared <= _ZERO:
            raise PriceDataError(f"a period length of {declared} is not a length", "resolution")
        resolution = declared
    elif steps:
        counts: dict = {}
        for step in steps:
            counts[step] = counts.get(step, 0) + 1
        # On a tie the shorter step: a missing period is likelier than an extra one.
        resolution = max(counts, key=lambda step: (counts[step], -step))
    else:
        raise PriceDataError(f"{at(series.places[0])}: one period only, which cannot tell the period length",
                             "resolution")
    hint = "" if series.aware else _NAIVE_HINT
    for i, step in enumerate(steps, start=1):
        if step == resolution:
            continue
        where, start, before = at(series.places[i]), series.starts[i], series.starts[i - 1]
        every = describe_step(resolution)
        if step > resolution and step % resolution == _ZERO:
            missing = step // resolution - 1
            raise PriceDataError(f"{where}: {missing} period{'s' * (missing != 1)} missing before "
                                 f"{start.isoformat()} (the one before starts at {before.isoformat()}, "
                                 f"the series has one every {every}){hint}", "zone" if hint else None)
        raise PriceDataError(f"{where}: the period starting {start.isoformat()} comes {describe_step(step)} after "
                             f"the one before ({before.isoformat()}), but the series has a period every {every}"
                             f"{hint}", "resolution")
    return resolution


def build_series(records: "list[PriceRecord]", name: str, zone: "tzinfo | None", resolution: "timedelta | None",
                 time_field: str, price_field: str, lists: "tuple[str, ...]", header, kind: str) -> PriceSeries:
    """The series of the records in time order (any order in)."""
    def at(place: str) -> str:
        return f"{name}, {place}" if name else place

    if not records:
        raise PriceDataError(f"{name + ': ' if name else ''}no prices")
    _on_the_minute(records)
    instants, aware, utc = _instants(records, zone, at)
    order = sorted(range(len(records)), key=instants.__getitem__)
    order = _drop_repeats(order, instants, records, lists, name, at)
    series = PriceSeries()
    series.name, series.kind, series.header = name, kind, header
    series.time_field, series.price_field, series.lists = time_field, price_field, lists
    series.zone, series.aware, series.utc = zone, aware, utc
    series.instants = [instants[i] for i in order]
    if zone is not None:
        series.starts = [moment.astimezone(zone) for moment in series.instants]
    else:
        series.starts = [records[i].start for i in order]
    series.prices = [records[i].price for i in order]
    series.places = [records[i].place for i in order]
    series.sources = [records[i].source for i in order]
    series.resolution = _resolution(series, resolution, at)
    return series
