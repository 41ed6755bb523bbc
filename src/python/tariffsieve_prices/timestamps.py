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
# A number is an epoch count only where its size makes it one: seconds from
# 10**9 (September 2001) to 10**10 (the year 2286), milliseconds over the same
# years. Anything smaller (an hour 0 to 23, a position, a price) or between
# the two ranges is not read as a time.
SECONDS = (10 ** 9, 10 ** 10)
MILLISECONDS = (10 ** 12, 10 ** 13)
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


def from_epoch(number: Decimal) -> "datetime | None":
    """The UTC instant of an epoch count in seconds or milliseconds since 1970
    (2001 to 2286 either way); None for a number of any other size."""
    if SECONDS[0] <= number < SECONDS[1]:
        micro = number * 1000000
    elif MILLISECONDS[0] <= number < MILLISECONDS[1]:
        micro = number * 1000
    else:
        return None
    return _EPOCH + timedelta(microseconds=int(micro))


def is_timestamp(value: object) -> bool:
    """Whether a value reads as a timestamp: ISO 8601, or an epoch count of a plausible size."""
    try:
        to_datetime(value, "", "")
    except PriceDataError:
        return False
    return True


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
    if moment.tzinfo is not None:
        try:
            moment.astimezone(timezone.utc)
        except OverflowError:  # 0001-01-01T00:00+01:00 names an instant before year 1
            raise PriceDataError(f"{place}: {field + ' ' if field else ''}{moment.isoformat()} lies outside the "
                                 f"years 1 to 9999 in UTC") from None
    return moment


def with_hour(day: object, hour: object, place: str, fields: str) -> datetime:
    """The start of an hour of a day, from a record that gives them apart
    ({date: 2026-04-11, hour: 13}): the day's wall time at that hour."""
    moment = to_datetime(day, place, fields.split("+")[0])
    text = hour.text if isinstance(hour, JsonNumber) else str(hour).strip() if not isinstance(hour, bool) else ""
    if moment.tzinfo is not None or (moment.hour, moment.minute, moment.second) != (0, 0, 0):
        # An offset fixed at midnight would be wrong for the later hours of a clock-change day.
        raise PriceDataError(f"{place}: {fields} {moment.isoformat()} is not a day (such as 2026-04-11)")
    if not text.isdigit() or int(text) > 23:
        raise PriceDataError(f"{place}: {fields} {text[:20] or repr(hour)[:20]} is not an hour of the day, 0 to 23")
    return moment + timedelta(hours=int(text))
