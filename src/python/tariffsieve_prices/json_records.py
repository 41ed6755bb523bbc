# Finding the price records in decoded JSON: the list (or the lists side by
# side, such as today and tomorrow) of objects with a start time and a price,
# wherever it is nested, or the ones a caller names by dotted path.
import re
from datetime import datetime
from decimal import Decimal

from tariffsieve_prices import layouts
from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.fields import (START_FIELDS, UTC_FIELDS, field_value, day_field, paid_price,
                                       price_candidates, start_field)
from tariffsieve_prices.prices import price_text
from tariffsieve_prices.records import PriceRecord
from tariffsieve_prices.timestamps import to_datetime, with_hour

_DEEPEST = 24
_SHOWN = 8
# Words in a list's name that make it one day's part of a series.
_DAY_WORDS = re.compile(r"yesterday|today|tomorrow|\d{4}-\d\d-\d\d")
# Names of lists of predicted prices, never read unless chosen by path.
_FORECAST = re.compile(r"forecast|predict|estimate", re.IGNORECASE)


def join_path(path: str, key: object) -> str:
    if isinstance(key, int):
        return f"{path}[{key}]"
    return f"{path}.{key}" if path else str(key)


def resolve(data: object, path: str) -> object:
    """The value at a dotted path (data.ee, homes[0].today, homes.0.today)."""
    value = data
    walked = ""
    for part in path.replace("[", ".").replace("]", "").split("."):
        if part == "":
            continue
        if isinstance(value, list) and part.lstrip("-").isdigit() and -len(value) <= int(part) < len(value):
            value, walked = value[int(part)], join_path(walked, int(part))
        elif isinstance(value, dict) and part in value:
            value, walked = value[part], join_path(walked, part)
        else:
            if isinstance(value, dict):
                has = ", ".join(str(key) for key in list(value)[:12]) or "nothing"
                raise PriceDataError(f"no '{path}' in the data: the object at '{walked or '(top)'}' has {has}",
                                     "records")
            what = f"a list of {len(value)}" if isinstance(value, list) else type(value).__name__
            raise PriceDataError(f"no '{path}' in the data: '{walked or '(top)'}' is {what}", "records")
    return value


class _Shape:
    """A list of records: its path, its parent's path and the fields it would be read with."""

    __slots__ = ("path", "parent", "items", "time_field", "price_fields")

    def __init__(self, path, parent, items, time_field, price_fields):
        self.path, self.parent, self.items = path, parent, items
        self.time_field, self.price_fields = time_field, price_fields

    def key(self):
        return self.parent, self.time_field, tuple(self.price_fields)


def _shape(path, parent, items, time_field, price_field):
    first = items[0]
    if time_field is not None:
        try:
            field_value(first, time_field)
        except KeyError:
            return None
        found_time = time_field
    else:
        found_time = start_field(first)
        if found_time is None:
            return None
        day = day_field(first, found_time)
        if day is not None:
            found_time = f"{day}+{found_time}"
    if price_field is not None:
        try:
            field_value(first, price_field)
        except KeyError:
            return None
        prices = [price_field]
    else:
        prices = price_candidates(first, found_time)
        if not prices:
            return None
    return _Shape(path, parent, items, found_time, prices)


def _layout(value, path, parent, time_field, price_field) -> "_Shape | None":
    """A series held as pairs, a map or parallel arrays, as a list of records."""
    if isinstance(value, list):
        items = layouts.pairs(value)
        fields = (layouts.PAIR_TIME, [layouts.PAIR_PRICE])
    elif layouts.mapping(value) is not None:
        items, fields = layouts.mapping(value), (layouts.MAP_TIME, [layouts.MAP_PRICE])
    else:
        found = layouts.parallel(value)
        items, fields = (found[0], found[1:]) if found is not None else (None, None)
    if items is None or (time_field or fields[0]) != fields[0]:
        return None
    if price_field is not None:
        return _Shape(path, parent, items, fields[0], [price_field]) if price_field in fields[1] else None
    return _Shape(path, parent, items, *fields)


def _walk(value, path, parent, depth, time_field, price_field, shapes, others):
    if depth > _DEEPEST:
        return
    layout = isinstance(value, dict) or (isinstance(value, list) and value and isinstance(value[0], (list, tuple)))
    shape = _layout(value, path, parent, time_field, price_field) if layout else None
    if shape is not None:
        shapes.append(shape)
        return
    if isinstance(value, dict):
        for key, inner in value.items():
            _walk(inner, join_path(path, key), path, depth + 1, time_field, price_field, shapes, others)
    elif isinstance(value, list) and value:
        if isinstance(value[0], dict):
            shape = _shape(path, parent, value, time_field, price_field)
            if shape is not None:
                shapes.append(shape)
                return
            keys = ", ".join(str(key) for key in list(value[0])[:6])
            others.append(f"{path or '(top)'} ({len(value)} objects of {keys})")
            for i, item in enumerate(value):
                _walk(item, join_path(path, i), path, depth + 1, time_field, price_field, shapes, others)
        else:
            others.append(f"{path or '(top)'} ({len(value)} {type(value[0]).__name__} values)")
    elif isinstance(value, list):
        others.append(f"{path or '(top)'} (empty)")


def _listing(paths):
    shown = ", ".join(paths[:_SHOWN])
    return shown + (f" and {len(paths) - _SHOWN} more" if len(paths) > _SHOWN else "")


def _roots(data: object, paths: "tuple[str, ...]", time_field, price_field) -> "tuple[list, list]":
    """Every list of records found (shapes), and descriptions of the other lists."""
    shapes: list = []
    others: list = []
    roots = [(resolve(data, path), path) for path in paths] if paths else [(data, "")]
    for value, path in roots:
        if paths and isinstance(value, list) and value and isinstance(value[0], dict):
            shape = _shape(path, "", value, time_field, price_field)
            if shape is None:
                raise PriceDataError(f"'{path}': its objects ({', '.join(map(str, list(value[0])[:8]))}) have no "
                                     f"recognised start time and price", "time_field", tuple(map(str, value[0])))
            shape.parent = ""  # named by the caller: read together
            shapes.append(shape)
        else:
            _walk(value, path, "" if paths else None, 0, time_field, price_field, shapes, others)
    return shapes, others


def _nothing_found(others: list, time_field, price_field) -> PriceDataError:
    if others and all(other.endswith("(empty)") for other in others):
        empty = [other[:-8] for other in others if other != "(top) (empty)"]
        return PriceDataError(f"no prices (yet): {_listing(empty) if empty else 'the list'} "
                              f"{'are' if len(empty) > 1 else 'is'} empty")
    wanted = (f"objects with {time_field or 'a start time'} and {price_field or 'a price'}")
    found = f"; lists found: {_listing(others)}" if others else "; it holds no list of objects"
    known = "" if time_field else f" (start times are looked for under {', '.join(START_FIELDS[:8])}, ...)"
    return PriceDataError(f"found no list of {wanted} anywhere in the data{known}{found}",
                          "time_field" if others else None)


def _day_part(path: str) -> "str | None":
    """What a list's name says it is a day's part of (raw_today and
    raw_tomorrow: raw_#, under the same parent), or None."""
    parent, _, name = path.rpartition(".")
    if "[" in name:
        return None
    stem = _DAY_WORDS.sub("#", name.lower())
    return f"{parent}/{stem}" if stem != name.lower() else None


def readings(shapes: list) -> "tuple[list[list], list]":
    """The ways to read the lists found: lists named as parts of one series
    (today and tomorrow) together, every other list alone; and the lists
    named as forecasts, which are read only when a caller names them."""
    groups: dict = {}
    forecasts = []
    for shape in shapes:
        if _FORECAST.search(shape.path.rpartition(".")[2]):
            forecasts.append(shape)
            continue
        part = _day_part(shape.path)
        key = (part, shape.key()) if part is not None else ("", id(shape))
        groups.setdefault(key, []).append(shape)
    return list(groups.values()), forecasts


def find_lists(data: object, paths: "tuple[str, ...]", time_field: "str | None",
               price_field: "str | None") -> "list[list]":
    """The readings of the data: lists of record lists, each one way to read it."""
    shapes, others = _roots(data, paths, time_field, price_field)
    if not shapes:
        raise _nothing_found(others, time_field, price_field)
    if paths:
        groups: dict = {}
        for shape in shapes:
            groups.setdefault(shape.key(), []).append(shape)
        if len(groups) > 1:
            names = [" + ".join(shape.path or "(top)" for shape in group) for group in groups.values()]
            raise PriceDataError(f"several lists of price records: {_listing(names)}; pick one by its path",
                                 "records", tuple(shape.path for group in groups.values() for shape in group))
        return [shapes]
    found, forecasts = readings(shapes)
    if not found:
        names = tuple(shape.path for shape in forecasts)
        raise PriceDataError(f"only predicted prices: {_listing(list(names))} "
                             f"{'are forecasts' if len(names) > 1 else 'is a forecast'}, read only when chosen "
                             f"by its path", "records", names)
    return found


def _start(item: dict, field: str, place: str, naive_is_utc: bool) -> datetime:
    if "+" in field and field not in item:
        day, hour = field.split("+", 1)
        return with_hour(field_value(item, day), field_value(item, hour), place, field)
    return to_datetime(field_value(item, field), place, field, naive_is_utc)


def _read(shapes: list) -> "tuple[list[PriceRecord], str, str]":
    """The records of one reading: its lists, one after the other."""
    first = shapes[0]
    chosen_price = paid_price(first.price_fields)
    if chosen_price is None:
        raise PriceDataError(f"the records {'in ' + first.path + ' ' if first.path else ''}hold several prices: "
                             f"{', '.join(first.price_fields)}; pick one",
                             "price_field", tuple(first.price_fields))
    chosen_time = first.time_field
    naive_is_utc = chosen_time in UTC_FIELDS
    several = len(shapes) > 1
    records = []
    for shape in shapes:
        for number, item in enumerate(shape.items, start=1):
            place = f"item {number} of {shape.path}" if shape.path else f"item {number}"
            if not isinstance(item, dict):
                raise PriceDataError(f"{place}: expected an object with {chosen_time} and {chosen_price}")
            try:
                start = _start(item, chosen_time, place, naive_is_utc)
                price = field_value(item, chosen_price)
            except KeyError as missing:
                has = ", ".join(map(str, item)) or "nothing"
                raise PriceDataError(f"{place}: no {missing.args[0]} (it has {has})") from None
            records.append(PriceRecord(start, price_text(price, place, chosen_price), place, item,
                                       shape.path if several else ""))
    return records, chosen_time, chosen_price


def _covering(read: list, names: "tuple[str, ...]", candidates: "tuple[str, ...]") -> int:
    """The reading that holds every record of every other one at the same
    price (lists that repeat one another); PriceDataError where none does."""
    maps = [{record.start: Decimal(record.price) for record in records} for records, _, _ in read]
    for i, one in enumerate(maps):
        if all(other.items() <= one.items() for other in maps):
            return i
    for i, one in enumerate(maps):
        for j in range(i + 1, len(maps)):
            clash = next((start for start, price in maps[j].items() if start in one and one[start] != price), None)
            if clash is not None:
                a, b = names[i], names[j]
                raise PriceDataError(f"{a} and {b} hold different prices for the same periods (both start at "
                                     f"{clash.isoformat()}): pick one of the lists", "records", candidates)
    raise PriceDataError(f"several lists of price records: {_listing(list(names))}; pick one by its path",
                         "records", candidates)


def json_records(data: object, paths: "tuple[str, ...]" = (), time_field: "str | None" = None,
                 price_field: "str | None" = None) -> "tuple[list[PriceRecord], str, str, tuple[str, ...]]":
    """The records of the list or lists found, the fields read and the lists' paths."""
    found = find_lists(data, paths, time_field, price_field)
    if len(found) == 1:
        return (*_read(found[0]), tuple(shape.path for shape in found[0]))
    names = tuple(" + ".join(shape.path or "(top)" for shape in group) for group in found)
    # Each reading must read (the first one's fault is named) before they are compared.
    read = [_read(group) for group in found]
    chosen = _covering(read, names, tuple(shape.path for group in found for shape in group))
    return (*read[chosen], tuple(shape.path for shape in found[chosen]))
