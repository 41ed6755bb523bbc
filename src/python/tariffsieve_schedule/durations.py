# Durations as people write them (4h, 45min, 1h30m, 2.5h) or as timedeltas,
# and their conversion to whole periods of a series.
import re
from datetime import timedelta
from decimal import Decimal, InvalidOperation

from tariffsieve_schedule.errors import DurationError

_UNIT_SECONDS = {"d": 86400, "h": 3600, "min": 60, "m": 60, "s": 1}
_PART = r"(\d+(?:\.\d*)?|\.\d+)\s*(min|[dhms])"
_DURATION = re.compile(rf"(?:{_PART}\s*)+")
_BARE = re.compile(r"\d+(?:\.\d*)?|\.\d+")


def parse_seconds(text: str) -> "Decimal | None":
    """Seconds in a duration such as '1h30m', exactly; None when the text has no unit."""
    spelled = text.strip().lower()
    if _BARE.fullmatch(spelled):
        return None
    if not _DURATION.fullmatch(spelled):
        raise ValueError(f"'{text}' is not a duration (write it as 4h, 45min, 1h30m or 2.5h)")
    return sum(Decimal(number) * _UNIT_SECONDS[unit] for number, unit in re.findall(_PART, spelled))


def describe(seconds: "Decimal | int | str") -> str:
    """A duration as short text: 15min, 1h, 1h30min, 2d, 90s."""
    seconds = Decimal(seconds)
    if seconds == 0:
        return "0min"
    parts = []
    for unit, size in (("d", 86400), ("h", 3600), ("min", 60)):
        whole = int(seconds // size)
        if whole:
            parts.append(f"{whole}{unit}")
            seconds -= whole * size
    if seconds:
        parts.append(f"{seconds.normalize():f}s")
    return "".join(parts)


def as_text(value: object) -> str:
    """A duration as given, for messages: 3h, or 3:00:00 for a timedelta."""
    return value.strip() if isinstance(value, str) else str(value)


def seconds_of(field: str, value: object) -> Decimal:
    """The exact seconds of a duration given as a timedelta or as text (3h, 45min, 1h30m)."""
    text = as_text(value)
    seconds = None
    if isinstance(value, timedelta):
        seconds = Decimal(value // timedelta(microseconds=1)) / 1000000
    elif isinstance(value, str):
        try:
            seconds = parse_seconds(value)
        except (ValueError, InvalidOperation):
            raise DurationError("{name}: '{text}' is not a duration (write it as 4h, 45min, 1h30m or 2.5h)",
                                field, "not_duration", text=text) from None
    if seconds is None:  # a bare number, as text or not
        raise DurationError("{name} {text}: give a duration with a unit (4h, 45min, 1h30m)", field, "no_unit",
                            text=text)
    if seconds < 0:
        raise DurationError("{name} {text}: a duration cannot be negative", field, "negative", text=text)
    return seconds


def to_periods(field: str, value: object, resolution: Decimal) -> int:
    """The number of periods of `resolution` seconds that a duration spans;
    DurationError unless it is a whole number of them."""
    seconds = seconds_of(field, value)
    periods = seconds / resolution
    if periods != periods.to_integral_value():
        text = as_text(value)
        raise DurationError("{name} {text} is not a whole number of periods: the series has a period every {every}, "
                            "so {text} would be {periods} periods", field, "not_whole", text=text,
                            every=describe(resolution), periods=str(periods.quantize(Decimal("0.01"))))
    return int(periods)
