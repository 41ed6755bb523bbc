"""tariffsieve_prices: read a price series as price sources send it and
return its periods in time order. Standard library only.

    series = read_prices(payload)            # text, bytes, or decoded JSON
    series.starts, series.prices, series.resolution, series.price_field

It reads CSV (a header row or none; comma, semicolon or tab), JSON with the
list of records nested anywhere (lists side by side such as today and
tomorrow are joined), ENTSO-E's day-ahead XML, and data already decoded (a
dict or list that may hold datetime objects). Records may come in any order;
an exact repeat is dropped, two different prices for one period are an
error. Every error is a PriceDataError that says where the input is wrong."""
import codecs
import json
from datetime import timedelta, tzinfo

from tariffsieve_prices.csv_text import csv_records
from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.json_records import json_records
from tariffsieve_prices.prices import JsonNumber, price_text
from tariffsieve_prices.timestamps import parse_iso as parse_timestamp
from tariffsieve_prices.records import PriceRecord
from tariffsieve_prices.series import PriceSeries, build_series, describe_step

__all__ = ["PriceDataError", "PriceRecord", "PriceSeries", "describe_step", "read_prices", "load_zone",
           "parse_timestamp", "price_text"]

FORMATS = ("csv", "json", "xml")


def load_zone(name: str) -> tzinfo:
    """The IANA time zone of that name; PriceDataError when unknown."""
    from zoneinfo import ZoneInfo  # only when asked: it costs start-up time

    try:
        return ZoneInfo(name)
    except Exception:  # ZoneInfoNotFoundError, or ValueError for a malformed key
        raise PriceDataError(f"unknown time zone '{name}' (an IANA name such as Europe/Berlin; without a "
                             f"system time zone database, `pip install tzdata`)") from None


def _decode(data: bytes) -> str:
    """Text in UTF-8 (with or without a byte order mark), UTF-16 (with one,
    or without where every other byte of ASCII text is zero), or else in
    Windows-1252, the spreadsheet export of much of Europe: its bytes are not
    valid UTF-8 in any real text, and they differ from Latin-1 only in
    letters and signs, never in digits, separators or timestamps."""
    if data.startswith((b"\xff\xfe", b"\xfe\xff")):
        return _strict(data, "utf-16")
    if len(data) >= 4 and data[1:4:2] == b"\0\0" and data[0:4:2].count(0) == 0:
        return _strict(data, "utf-16-le")
    if len(data) >= 4 and data[0:4:2] == b"\0\0" and data[1:4:2].count(0) == 0:
        return _strict(data, "utf-16-be")
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as exc:
        utf8_error = exc
    try:
        return data.decode("cp1252")
    except UnicodeDecodeError:
        line = data.count(b"\n", 0, utf8_error.start) + 1
        raise PriceDataError(f"line {line}: not UTF-8 text (byte 0x{data[utf8_error.start]:02x})") from None


def _strict(data: bytes, codec: str) -> str:
    try:
        return data.decode(codec).lstrip("\ufeff")
    except UnicodeDecodeError as exc:
        raise PriceDataError(f"byte {exc.start}: not {codec.upper()} text") from None


def _guess_format(text: str, name: str) -> str:
    lowered = name.lower()
    for kind in FORMATS:
        if lowered.endswith("." + kind):
            return kind
    first = text.lstrip("\ufeff \t\r\n")[:1]
    return "json" if first in ("[", "{") else "xml" if first == "<" else "csv"


def _is_xml(data: bytes, format: "str | None", name: str) -> bool:
    """Whether bytes are XML, which expat reads undecoded so that the encoding
    its declaration names (ISO-8859-1, UTF-16, ...) is the one used."""
    utf16 = data[:2] in (codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE)
    head = data[:4096].decode("utf-16" if utf16 else "utf-8-sig", "ignore")
    return (format or _guess_format(head, name)) == "xml"


def _entsoe(data: "str | bytes", records: "tuple[str, ...] | list[str]") -> "tuple[list[PriceRecord], str, str]":
    from tariffsieve_prices.entsoe import read_entsoe

    found, price_name = read_entsoe(data, tuple(records))
    return found, "Period start and position", price_name


def _json(text: str) -> object:
    try:
        return json.loads(text, parse_float=JsonNumber, parse_int=JsonNumber, parse_constant=JsonNumber)
    except json.JSONDecodeError as exc:
        raise PriceDataError(f"line {exc.lineno}: not valid JSON ({exc.msg})") from None
    except RecursionError:
        raise PriceDataError("JSON nested too deeply") from None


def read_prices(data: object, *, format: "str | None" = None, records: "tuple[str, ...] | list[str]" = (),
                time_field: "str | None" = None, price_field: "str | None" = None,
                tz: "str | tzinfo | None" = None, resolution: "timedelta | None" = None,
                name: str = "") -> PriceSeries:
    """The price series in data, in time order.

    data: CSV, JSON or XML as text or bytes (format None: by name's ending,
    else by the first character; XML bytes in the encoding they declare), or
    JSON already decoded (dicts and lists, whose values may be str, numbers,
    Decimal or datetime).
    records: dotted paths of the lists to read (data.ee, homes[0].today);
    in XML area codes (10YNL----------L) or TimeSeries numbers (2). Several
    are joined. Default: the one list (or lists side by side) of records
    with a start time and a price, wherever they are.
    time_field, price_field: the fields (dotted paths: entryPerArea.SE3; in
    CSV header names or 1-based column numbers). Default: by the names price
    sources use; a record holding several prices must be told which one,
    unless one of them is what a customer pays (total beside energy and
    tax, value_inc_vat beside value_exc_vat).
    tz: the zone of naive timestamps, and the zone the series is shown in.
    resolution: the period length (default: the step between starts).
    name: the input's name, put before every place in messages."""
    zone = load_zone(tz) if isinstance(tz, str) else tz
    header = None
    lists: tuple = ()
    try:
        if isinstance(data, (bytes, bytearray)):
            data = bytes(data) if data.strip() and _is_xml(bytes(data), format, name) else _decode(bytes(data))
        if isinstance(data, bytes):
            kind = "xml"
            found, time_name, price_name = _entsoe(data, records)
        elif isinstance(data, str):
            if not data.strip():
                raise PriceDataError("empty input, no prices")
            kind = format or _guess_format(data, name)
            if kind == "csv":
                found, time_name, price_name, header = csv_records(data, time_field, price_field)
            elif kind == "xml":
                found, time_name, price_name = _entsoe(data, records)
            else:
                found, time_name, price_name, lists = json_records(_json(data), tuple(records), time_field,
                                                                   price_field)
        else:
            kind = "data"
            found, time_name, price_name, lists = json_records(data, tuple(records), time_field, price_field)
    except PriceDataError as exc:
        if not name:
            raise
        # "data.json, line 3: ..." for a place, "data.json: ..." otherwise.
        place = str(exc).startswith(("line ", "item ", "TimeSeries"))
        raise PriceDataError(f"{name}{',' if place else ':'} {exc}", exc.choice, exc.candidates) from None
    return build_series(found, name, zone, resolution, time_name, price_name, lists, header, kind)
