# Durations as people write them (4h, 45min, 1h30m, 2.5h) and their conversion to whole periods.
import re
from decimal import Decimal, InvalidOperation

from tariffsieve_plan.errors import BadInput

_UNIT_SECONDS = {"d": 86400, "h": 3600, "min": 60, "m": 60, "s": 1}
_PART = r"(\d+(?:\.\d*)?|\.\d+)\s*(min|[dhms])"
_DURATION = re.compile(rf"(?:{_PART}\s*)+")
_BARE = re.compile(r"\d+(?:\.\d*)?|\.\d+")


def parse_seconds(text):
    """Seconds in a duration such as '1h30m', exactly; None when the text has no unit."""
    spelled = text.strip().lower()
    if _BARE.fullmatch(spelled):
        return None
    if not _DURATION.fullmatch(spelled):
        raise ValueError(f"'{text}' is not a duration (write it as 4h, 45min, 1h30m or 2.5h)")
    return sum(Decimal(number) * _UNIT_SECONDS[unit] for number, unit in re.findall(_PART, spelled))


def describe(seconds):
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


def to_periods(option, text, resolution, bare_is_periods):
    """The number of periods of `resolution` seconds that the option's value spans.

    A bare number counts periods when bare_is_periods is set; anything else
    must be a whole number of periods long."""
    try:
        seconds = parse_seconds(text)
    except (ValueError, InvalidOperation) as exc:
        raise BadInput(f"{option}: {exc}") from None
    if seconds is None:
        if not bare_is_periods:
            raise BadInput(f"{option} {text}: give a duration with a unit (4h, 45min, 1h30m), "
                           f"or add --periods to count periods")
        count = Decimal(text.strip())
        if count != count.to_integral_value():
            raise BadInput(f"{option} {text}: a number of periods must be whole")
        return int(count)
    if resolution is None:
        raise BadInput(f"{option} {text}: a duration needs the series' resolution, which one timestamp "
                       f"cannot tell; give --resolution")
    periods = seconds / resolution
    if periods != periods.to_integral_value():
        raise BadInput(f"{option} {text} is not a whole number of periods: the series has a period every "
                       f"{describe(resolution)}, so {text.strip()} would be {periods.quantize(Decimal('0.01'))} "
                       f"periods")
    return int(periods)
