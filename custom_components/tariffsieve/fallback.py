"""A fallback plan for a window whose prices are late: past its deadline, the window runs at clock times (those of
the last window planned on prices, or fixed ones from the options), with the prices known shown beside them. It is
stored like a plan, marked with its rule; once the window's prices are complete it is planned again on them as a
plan under way, so the periods the fallback already ran count."""
from __future__ import annotations

import re
from datetime import datetime, time, timedelta
from decimal import Decimal
from typing import Any

from tariffsieve_prices import PriceDataError, PriceSeries
from tariffsieve_schedule import ScheduleError, decimal_text, schedule

from .const import CONF_FALLBACK, CONF_FALLBACK_DEADLINE, CONF_FALLBACK_FORECAST, CONF_FALLBACK_TIMES, \
    CONF_RECORDS, FALLBACK_FIXED, FALLBACK_FORECAST, FALLBACK_LAST
from .planner import at, schedule_rules, series_of, stored

_RANGE = re.compile(r"^\s*(\d{1,2}:\d{2})\s*[-–]\s*(\d{1,2}:\d{2})\s*$")
type Window = tuple[datetime, datetime]


class FallbackTimesError(ValueError):
    """Fixed times that cannot be read: `text` the part at fault."""

    def __init__(self, text: str) -> None:
        super().__init__(f"not a clock time range (01:00-03:00): {text!r}")
        self.text = text


def rule_of(options: dict[str, Any]) -> str | None:
    """The fallback rule the helper opted in to; None: its windows wait for their prices."""
    return options.get(CONF_FALLBACK) or None


def is_fallback(plan: dict[str, Any] | None) -> bool:
    return plan is not None and bool(plan.get("fallback"))


def deadline(window: Window, options: dict[str, Any]) -> datetime | None:
    """The last time the deadline's clock shows before the window opens (the day before, for a window opening at
    midnight); None without a fallback."""
    if rule_of(options) is None or not options.get(CONF_FALLBACK_DEADLINE):
        return None
    start, clock = window[0], time.fromisoformat(str(options[CONF_FALLBACK_DEADLINE]))
    moment = datetime.combine(start.date(), clock, start.tzinfo)
    return moment if moment < start else datetime.combine(start.date() - timedelta(days=1), clock, start.tzinfo)


def deadlines(windows: list[Window], options: dict[str, Any]) -> list[datetime]:
    return [moment for moment in (deadline(window, options) for window in windows) if moment is not None]


def fixed_times(text: str) -> list[tuple[time, time]]:
    """The fixed rule's ranges, "01:00-03:00, 13:00-14:00"; an end not after its start is the next day's."""
    ranges = []
    for part in (part for part in text.split(",") if part.strip()):
        match = _RANGE.match(part)
        try:
            if match is None:
                raise ValueError
            ranges.append((time.fromisoformat(match[1].zfill(5)), time.fromisoformat(match[2].zfill(5))))
        except ValueError:
            raise FallbackTimesError(part.strip()) from None
    return ranges


def _runs(window: Window, options: dict[str, Any], last: dict[str, Any] | None) -> list[Window]:
    """The fallback's runs in the window, by its rule; none where the rule has nothing to repeat."""
    start, zone = window[0], window[0].tzinfo
    if rule_of(options) == FALLBACK_FIXED:
        runs = []
        for begin, end in fixed_times(str(options.get(CONF_FALLBACK_TIMES) or "")):
            first = datetime.combine(start.date() + timedelta(days=begin < start.time()), begin, zone)
            runs.append((first, datetime.combine(first.date() + timedelta(days=end <= begin), end, zone)))
        return runs
    if rule_of(options) == FALLBACK_LAST and last is not None:
        # The same clock times on the same days of the window: a run that began the night after the last
        # window opened begins the night after this one opens.
        opened = at(last["window"][0]).astimezone(zone).date()

        def moved(text: str) -> datetime:
            moment = at(text).astimezone(zone)
            return datetime.combine(start.date() + (moment.date() - opened), moment.time(), zone)
        return [(moved(run["start"]), moved(run["end"])) for run in last["runs"]]
    return []


def _average(prices: list[str]) -> str | None:
    return decimal_text(sum(map(Decimal, prices), Decimal(0)) / len(prices)) if prices else None


def forecast_series(data: Any, zone: Any, options: dict[str, Any]) -> PriceSeries:
    """The forecast list the options name, read as prices because it was chosen; PriceDataError if it cannot be."""
    return series_of(data, zone, "forecast", {CONF_RECORDS: options.get(CONF_FALLBACK_FORECAST) or ""})


def forecast_plan(series: PriceSeries | None, window: Window, options: dict[str, Any], now: datetime,
                  forecast: Any) -> dict[str, Any] | None:
    """The window planned by its rules on the prices known, the forecast filling the periods without; None where
    the two do not cover the window together (or do not read as one series)."""
    begin, end = max(window[0], now), window[1]
    try:
        predicted = forecast_series(forecast, window[0].tzinfo, options)
    except PriceDataError:
        return None
    prices = dict(zip(predicted.instants, predicted.prices))
    if series is not None:
        prices.update(zip(series.instants, series.prices))
    try:
        planned = schedule(sorted(prices.items()), **schedule_rules(options), start=begin, end=end, now=now,
                           tz=window[0].tzinfo)
    except (ScheduleError, ValueError):  # not covered, or prices and forecast in different periods
        return None
    return stored(planned, window, sorted(prices.items())) | {"fallback": FALLBACK_FORECAST}


def fallback_plan(series: PriceSeries | None, window: Window, options: dict[str, Any], now: datetime,
                  last: dict[str, Any] | None, forecast: Any = None) -> dict[str, Any] | None:
    """The window's fallback plan, stored like a plan: runs from now on by the rule (cut at now and at the
    window's end), the known prices of the window, averages of the known prices in the runs; None where the
    rule gives no run. The forecast rule plans on the prices instead (see `forecast_plan`)."""
    if rule_of(options) == FALLBACK_FORECAST:
        return forecast_plan(series, window, options, now, forecast)
    begin, end = max(window[0], now), window[1]
    runs = [(max(first, begin), min(until, end)) for first, until in _runs(window, options, last)]
    runs = [(first, until) for first, until in runs if first < until]
    if not runs:
        return None
    known = [(moment, price) for moment, price in zip(series.instants, series.prices) if begin <= moment < end] \
        if series is not None else []

    def inside(first: datetime, until: datetime) -> list[tuple[datetime, str]]:
        return [(moment, price) for moment, price in known if first <= moment < until]
    chosen = [pair for first, until in runs for pair in inside(first, until)]
    return {
        "window": [window[0].isoformat(), window[1].isoformat()],
        "runs": [{"start": first.isoformat(), "end": until.isoformat(),
                  "average": _average([price for _, price in inside(first, until)])} for first, until in runs],
        "periods": [moment.isoformat() for moment, _ in chosen],
        "average": _average([price for _, price in chosen]),
        "prices": {moment.isoformat(): price for moment, price in known},
        "planned_from": begin.isoformat(),
        "fallback": rule_of(options),
    }


def replaced(kept: dict[str, Any] | None, series: PriceSeries) -> dict[str, Any] | None:
    """A kept plan as the planner replans it: a fallback takes the window's prices as now known, and its periods
    are those of the series in its runs, so that the ones already run count."""
    if not is_fallback(kept):
        return kept
    assert kept is not None
    begin, end = at(kept["planned_from"]), at(kept["window"][1])
    runs = [(at(run["start"]), at(run["end"])) for run in kept["runs"]]
    known = [(moment, price) for moment, price in zip(series.instants, series.prices) if begin <= moment < end]
    return kept | {"prices": {moment.isoformat(): price for moment, price in known},
                   "periods": [moment.isoformat() for moment, _ in known
                               if any(first <= moment < until for first, until in runs)]}


def kept_fallback(reason: str, series: PriceSeries | None, window: Window, options: dict[str, Any],
                  now: datetime, kept: dict[str, Any] | None, last: dict[str, Any] | None,
                  forecast: Any = None) -> dict[str, Any] | None:
    """Where the window cannot be planned on its prices (`reason`): its fallback kept, a new one once the
    deadline has passed, or None: the window waits."""
    if is_fallback(kept):
        return kept
    moment = deadline(window, options)
    if reason != "waiting_for_prices" or kept is not None or moment is None or now < moment:
        return None
    return fallback_plan(series, window, options, now, last, forecast)


def last_planned(last: dict[str, Any] | None, plans: dict[str, dict[str, Any]]) -> dict[str, Any] | None:
    """The plan on prices of the latest window, the last one kept or one of the plans."""
    candidates = [plan for plan in (last, *plans.values()) if plan is not None and not is_fallback(plan)]
    return max(candidates, key=lambda plan: at(plan["window"][0]), default=None)


def attributes(plans: dict[str, dict[str, Any]], options: dict[str, Any]) -> dict[str, Any]:
    """What the binary sensor says of the fallback, where the helper has one: whether a plan kept is a fallback,
    its rule and the start of its window."""
    if rule_of(options) is None:
        return {}
    fallbacks = [plans[key] for key in sorted(plans, key=at) if is_fallback(plans[key])]
    if not fallbacks:
        return {"fallback": False}
    return {"fallback": True, "fallback_rule": fallbacks[0]["fallback"],
            "fallback_window_start": at(fallbacks[0]["window"][0])}


def missing_fallbacks(plans: dict[str, dict[str, Any]], series: PriceSeries | None, windows: list[Window],
                      options: dict[str, Any], now: datetime, last: dict[str, Any] | None,
                      forecast: Any = None) -> dict[str, Any]:
    """Where the source gives no prices at all (or does not answer): the fallbacks of the windows with no plan
    whose deadline has passed, on the prices read before."""
    made = {}
    for window in windows:
        key = window[0].isoformat()
        if window[1] > now and key not in plans:
            plan = kept_fallback("waiting_for_prices", series, window, options, now, None, last, forecast)
            if plan is not None:
                made[key] = plan
    return made
