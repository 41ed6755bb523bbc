"""The rules as the form stores them and as the planning library takes them.

Durations are stored as Home Assistant's duration picker gives them ({"hours": 2, "minutes": 15}); entries made
before the picker hold text (2h15min), which the library reads as it is. The cheap price is stored as the number
box gives it, a float, and handed on as the shortest text that reads back as that float: exactly what was typed.
"""
from __future__ import annotations

from datetime import timedelta
from decimal import Decimal
from typing import Any

from tariffsieve_schedule import describe, seconds_of

_PICKER_UNITS = ("days", "hours", "minutes", "seconds", "milliseconds")


def duration_text(value: Any) -> str | None:
    """A stored duration as the library's text (2h15min); None when not set."""
    if value is None or value == "" or value == {}:
        return None
    if isinstance(value, dict):
        delta = timedelta(**{unit: value[unit] for unit in _PICKER_UNITS if value.get(unit)})
        return clock_text(Decimal(delta // timedelta(microseconds=1)) / 1000000)
    return str(value)


def clock_text(seconds: Decimal) -> str:
    """Seconds as the picker's units read them: 30h, 2h15min, 45min (no days: the picker shows none)."""
    hours, rest = divmod(seconds, 3600)
    text = (f"{hours}h" if hours else "") + (describe(rest) if rest else "")
    return text or "0min"


def duration_picker(value: Any) -> dict[str, int] | None:
    """A stored duration as the picker shows it; None where stored text is no duration (the form then starts
    empty and says so on submit)."""
    if value is None or isinstance(value, dict):
        return value
    try:
        seconds = int(seconds_of("", value))
    except ValueError:
        return None
    return {"hours": seconds // 3600, "minutes": seconds % 3600 // 60, "seconds": seconds % 60}


def cheap_text(value: Any) -> str | None:
    """A stored cheap price as decimal text; None when not set."""
    if value is None or value == "":
        return None
    if isinstance(value, float):
        return repr(value)
    return str(value)
