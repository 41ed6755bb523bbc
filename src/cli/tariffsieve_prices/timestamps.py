# Timestamps as price sources write them: ISO 8601 text (with a T or a
# space, any fraction of a second, Z or an offset), Unix epoch seconds or
# milliseconds (numbers or digit strings), or datetime objects.
import re
from datetime import date, datetime, time, timedelta, timezone
from decimal import Decimal, InvalidOperation

from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.prices import JsonNumber

# Written out rather than left to datetime.fromisoformat, which before
# Python 3.11 takes neither Z nor a fraction of other than 3 or 6 digits.
_ISO = re.compile(
    r"(\d{4})-(\d\d)-(\d\d)"
    r"(?:[Tt ](\d\d):(\d\d)(?::(\d\d)(?:[.,](\d+))?)?)?"
    r" ?(?:([Zz])|([+-])(\d\d)(?::?(\d\d))?)?")
_EPOCH_TEXT = re.compile(r"-?\d{9,}(?:\.\d+)?")
# Below this an epoch number counts seconds, from it on milliseconds: 10**11
# seconds is the year 5138, 10**11 milliseconds March 1973.
MILLISECONDS_FROM = 10 ** 11
_EPOCH = datetime(1970, 1, 1, tzinfo=timezone.utc)


def parse_iso(text: str) -> "datetime | None":
    """The datetime an ISO 8601 timestamp spells (naive without an offset), or None."""
    match = _ISO.fullmatch(text.strip())
    if match is None:
        return None
    year, month, day, hour, minute, second, fraction, zulu, sign, off_h, off_m = match.groups()
    micro = int((fraction or "0")[:6].ljust(6, "0"))
    zone = None
    if zulu:
        zone = timezone.utc
    elif sign:
        offset = timedelta(hours=int(off_h), minutes=int(off_m or 0))
        if offset >= timedelta(hours=24):
            return None
        zone = timezone(-offset if sign == "-" else offset)
    try:
        return datetime(int(year), int(month), int(day), int(hour or 0), int(minute or 0), int(second or 0),
                        micro, tzinfo=zone)
    except ValueError:
        return None


def from_epoch(number: Decimal) -> datetime:
    """The UTC instant of an epoch count in seconds or, from 10**11 on, milliseconds."""
    micro = number * (1000 if abs(number) >= MILLISECONDS_FROM else 1000000)
    return _EPOCH + timedelta(microseconds=int(micro))


def to_datetime(value: object, place: str, field: str, naive_is_utc: bool = False) -> datetime:
    """The datetime of a record's start field; raises PriceDataError naming place and field.

    naive_is_utc: the field says its naive timestamps are UTC (TimeUTC, HourUTC)."""
    moment = None
    if isinstance(value, datetime):
        moment = value
    elif isinstance(value, date):
        moment = datetime.combine(value, time(0))
    else:
        epoch = None
        if isinstance(value, JsonNumber):
            epoch = value.text
        elif isinstance(value, (int, float)) and not isinstance(value, bool):
            epoch = repr(value)
        elif isinstance(value, str) and _EPOCH_TEXT.fullmatch(value.strip()):
            epoch = value.strip()
        if epoch is not None:
            try:
                moment = from_epoch(Decimal(epoch))
            except (InvalidOperation, OverflowError, ValueError):
                moment = None
        elif isinstance(value, str):
            moment = parse_iso(value)
    if moment is None:
        shown = value.text if isinstance(value, JsonNumber) else repr(value)
        raise PriceDataError(f"{place}: {field + ' ' if field else ''}{shown[:40]} is not a timestamp (ISO 8601 such as "
                             f"2026-04-11T13:45+02:00, or Unix epoch seconds or milliseconds)")
    if naive_is_utc and moment.tzinfo is None:
        moment = moment.replace(tzinfo=timezone.utc)
    return moment
