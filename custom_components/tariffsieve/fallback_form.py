"""The fallback's fields in the settings form, and what the form checks of them: a deadline that is not the
window's start, and fixed times that are readable, on the prices' periods, inside the window, apart, and that
still keep the rules a fallback keeps (the run in total and the shortest run)."""
from __future__ import annotations

from datetime import time, timedelta
from decimal import Decimal
from typing import Any

from homeassistant.helpers import selector
from tariffsieve_schedule import seconds_of

from .const import CONF_BLOCK, CONF_FALLBACK, CONF_FALLBACK_DEADLINE, CONF_FALLBACK_ENTITY, CONF_FALLBACK_FORECAST, \
    CONF_FALLBACK_TIMES, CONF_FROM, CONF_TOTAL, CONF_UNTIL, FALLBACK_FIXED, FALLBACK_FORECAST, FALLBACK_RULES
from .fallback import FallbackTimesError, fixed_times, rule_of
from .rules import clock_text, duration_text
from .validation import vol

_DAY = 86400
# A problem of the fallback's settings: a key of the translated errors, the values it shows, its field.
type FallbackProblem = tuple[str, dict[str, str], str]

FIELDS = {
    vol.Optional(CONF_FALLBACK): selector.SelectSelector(selector.SelectSelectorConfig(
        options=list(FALLBACK_RULES), translation_key=CONF_FALLBACK)),
    vol.Optional(CONF_FALLBACK_DEADLINE): selector.TimeSelector(),
    vol.Optional(CONF_FALLBACK_TIMES): selector.TextSelector(),
    vol.Optional(CONF_FALLBACK_FORECAST): selector.TextSelector(),
    vol.Optional(CONF_FALLBACK_ENTITY): selector.EntitySelector(),
}


def _seconds(clock: time) -> int:
    return clock.hour * 3600 + clock.minute * 60 + clock.second


def _clock(options: dict[str, Any], key: str) -> int:
    return _seconds(time.fromisoformat(str(options.get(key) or "00:00:00")))


def _rule_seconds(options: dict[str, Any], key: str) -> Decimal | None:
    text = duration_text(options.get(key))
    return None if text is None else seconds_of(key, text)


def fallback_problem(options: dict[str, Any], resolution: timedelta) -> FallbackProblem | None:
    """Why the fallback's settings cannot be kept; None where they can (or there is no fallback)."""
    if rule_of(options) is None:
        return None
    if not options.get(CONF_FALLBACK_DEADLINE):
        return "fallback_deadline_missing", {}, CONF_FALLBACK_DEADLINE
    if _clock(options, CONF_FALLBACK_DEADLINE) == _clock(options, CONF_FROM):
        return "fallback_deadline_at_start", {}, CONF_FALLBACK_DEADLINE
    if rule_of(options) == FALLBACK_FIXED:
        return _times_problem(options, resolution)
    if rule_of(options) == FALLBACK_FORECAST and not str(options.get(CONF_FALLBACK_FORECAST) or "").strip():
        return "fallback_forecast_missing", {}, CONF_FALLBACK_FORECAST
    return None


def _times_problem(options: dict[str, Any], resolution: timedelta) -> FallbackProblem | None:
    text = str(options.get(CONF_FALLBACK_TIMES) or "")
    try:
        ranges = fixed_times(text)
    except FallbackTimesError as exc:
        return "fallback_times_unreadable", {"text": exc.text}, CONF_FALLBACK_TIMES
    if not ranges:
        return "fallback_times_missing", {}, CONF_FALLBACK_TIMES
    every, opens = int(resolution.total_seconds()), _clock(options, CONF_FROM)
    length = (_clock(options, CONF_UNTIL) - opens) % _DAY or _DAY
    spans = []
    for begin, end in ranges:
        shown = f"{begin:%H:%M}-{end:%H:%M}"
        if _seconds(begin) % every or _seconds(end) % every:
            return "fallback_times_not_whole", {"text": shown, "every": clock_text(Decimal(every))}, CONF_FALLBACK_TIMES
        start = (_seconds(begin) - opens) % _DAY
        stop = start + ((_seconds(end) - _seconds(begin)) % _DAY or _DAY)
        if stop > length:
            return "fallback_times_outside", {"text": shown}, CONF_FALLBACK_TIMES
        spans.append((start, stop, shown))
    return _rules_problem(options, sorted(spans))


def _rules_problem(options: dict[str, Any], spans: list[tuple[int, int, str]]) -> FallbackProblem | None:
    """Fixed times (seconds from the window's start) that overlap or break the run in total or the shortest run."""
    for (_, stop, shown), (start, _, _) in zip(spans, spans[1:]):
        if start < stop:
            return "fallback_times_overlap", {"text": shown}, CONF_FALLBACK_TIMES
    total, block = _rule_seconds(options, CONF_TOTAL), _rule_seconds(options, CONF_BLOCK)
    for start, stop, shown in spans:
        if block is not None and stop - start < block:
            return "fallback_times_short_run", {"text": shown, "block": clock_text(block)}, CONF_FALLBACK_TIMES
    given = sum(stop - start for start, stop, _ in spans)
    if total is not None and given < total:
        return "fallback_times_short_total", {"given": clock_text(Decimal(given)), "total": clock_text(total)}, \
            CONF_FALLBACK_TIMES
    return None
