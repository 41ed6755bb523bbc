"""Plans of one window from a price series and the helper's options, as plain
values that are stored, compared and shown; no Home Assistant objects here."""
from __future__ import annotations

from datetime import date, datetime, time, timedelta, tzinfo
from decimal import Decimal
from typing import Any

from tariffsieve_prices import PriceSeries, parse_timestamp, read_prices
from tariffsieve_schedule import BillingError, Schedule, ScheduleError, TariffError, WindowError, decimal_text, \
    schedule

from .const import CONF_BLOCK, CONF_CHEAP, CONF_FROM, CONF_MAX_OFF, CONF_PRICE_FIELD, CONF_RECORDS, CONF_START_WITHIN, \
    CONF_STRATEGY, CONF_TIME_FIELD, CONF_TOTAL, CONF_UNTIL
from .pricing import arguments as pricing_arguments, billing as pricing_billing, shown as pricing_shown, whole_hours
from .rules import cheap_text, duration_text

# The labels the form shows each argument of schedule() by, in English messages.
LABELS = {"total": "Run in total", "block": "Shortest run", "max_off": "Longest time off",
          "start_within": "Start within", "cheap": "Cheap price", "strategy": "Strategy", "start": "Window from",
          "end": "Window until", "prices": "Prices"}
# The option that holds each argument of schedule().
FIELD_KEYS = {"total": CONF_TOTAL, "block": CONF_BLOCK, "max_off": CONF_MAX_OFF, "start_within": CONF_START_WITHIN,
              "cheap": CONF_CHEAP, "strategy": CONF_STRATEGY, "start": CONF_FROM, "end": CONF_UNTIL}


class NoPlan(Exception):
    """Why a window has no plan: the prices do not cover it yet, or the rules cannot be met; `error` the
    schedule's own error."""

    def __init__(self, reason: str, message: str, error: ScheduleError) -> None:
        super().__init__(message)
        self.reason, self.error = reason, error


def worded(error: ScheduleError) -> str:
    """A schedule's error in English, its field named by the form's label."""
    return error.worded(LABELS.get(error.field, error.field), LABELS)


def series_of(data: Any, zone: tzinfo | str, name: str = "", options: dict[str, Any] | None = None) -> PriceSeries:
    """The price series in a source's data (attributes or an action's answer), read with the lists and fields
    the options name; PriceDataError if none, or where the reader asks for one of those choices."""
    options = options or {}
    # Several lists as the command line takes them: "raw_today, raw_tomorrow".
    paths = tuple(part.strip() for part in _named(options, CONF_RECORDS).split(",") if part.strip())
    return read_prices(data, records=paths, time_field=_named(options, CONF_TIME_FIELD) or None,
                       price_field=_named(options, CONF_PRICE_FIELD) or None, tz=zone, name=name)


def _named(options: dict[str, Any], key: str) -> str:
    return str(options.get(key) or "").strip()


def schedule_rules(options: dict[str, Any]) -> dict[str, Any]:
    """schedule()'s rules from the options."""
    return {"total": duration_text(options.get(CONF_TOTAL)), "block": duration_text(options.get(CONF_BLOCK)),
            "max_off": duration_text(options.get(CONF_MAX_OFF)),
            "start_within": duration_text(options.get(CONF_START_WITHIN)),
            "cheap": cheap_text(options.get(CONF_CHEAP)), "strategy": options.get(CONF_STRATEGY, "average"),
            **pricing_arguments(options)}


def check_options(options: dict[str, Any], series: PriceSeries) -> None:
    """ScheduleError where the rules do not fit the series: a rule not a whole number of its periods, a
    threshold that is no number, rules that contradict each other. Plans the first day's periods, in an
    executor: a long series takes milliseconds."""
    prices, request = whole_hours(series) if pricing_billing(options) else (series, {})
    day = min(len(series), int(timedelta(days=1) / series.resolution) or 1)
    schedule(prices, **schedule_rules(options), end=series.instants[day - 1] + series.resolution, **request)


def placeholders(error: ScheduleError) -> dict[str, str]:
    """The values a translated message of the error may show, as text, each present."""
    values = {key: "" if value is None else str(value) for key, value in error.values.items()
              if not isinstance(value, dict)}
    return {key: values.get(key, "") for key in PLACEHOLDERS} | {"error": worded(error)}


# Every value a translated schedule error may show.
PLACEHOLDERS = ("text", "every", "periods", "count", "total", "max_off", "most", "shown", "first", "last")


def _clock(value: time | str) -> time:
    """A clock time as the action gives it (a time) or as the options store it (text 22:00:00)."""
    return value if isinstance(value, time) else time.fromisoformat(value)


def window_on(day: date, options: dict[str, Any], zone: tzinfo) -> tuple[datetime, datetime]:
    """The window that opens on day: from one clock time to the next (the next day when not later)."""
    begin, until = _clock(options.get(CONF_FROM) or "00:00:00"), _clock(options.get(CONF_UNTIL) or "00:00:00")
    start = datetime.combine(day, begin, zone)
    end = datetime.combine(day + timedelta(days=0 if until > begin else 1), until, zone)
    return start, end


def make_window_plan(series: PriceSeries, window: tuple[datetime, datetime], options: dict[str, Any],
                     now: datetime, kept: dict[str, Any] | None = None) -> dict[str, Any]:
    """The plan of the window's periods that have not started by now, as stored values; NoPlan if none.
    Where a kept plan of the window is under way, what it already ran counts (see `_under_way`)."""
    start, end = window
    if kept is not None and at(kept["planned_from"]) <= now:
        prices, begin, ran = _under_way(series, kept, now)
        request: dict[str, Any] = {"ran": ran, "tz": series.zone}
    else:
        # A window already running without a plan is planned from the next period on: what ran is unknown.
        prices, begin, request = series, max(start, now), {}
        if pricing_billing(options) and series.instants[0] <= now:
            # A source listing prices from the quarter hour running now: the hour under way, listed in part, is
            # left out, and the plan starts with the next. An hour ahead listed in part is still refused.
            prices, request = whole_hours(series)
            begin = max(begin, prices[0][0]) if request else begin
    try:
        planned = schedule(prices, **schedule_rules(options), start=begin, end=end, now=now, **request)
    except (TariffError, BillingError) as exc:
        # The form refuses these; a fee file changed or removed since says so here.
        raise NoPlan("price_options_refused", worded(exc), exc) from None
    except WindowError as exc:
        raise NoPlan("waiting_for_prices", f"the prices do not cover the window from {begin.isoformat()} to "
                                           f"{end.isoformat()} yet", exc) from None
    except ScheduleError as exc:
        raise NoPlan("no_valid_selection", f"no valid selection in the window from {begin.isoformat()} to "
                                           f"{end.isoformat()}: {worded(exc)}", exc) from None
    return stored(planned, window, prices)


def _under_way(series: PriceSeries, kept: dict[str, Any], now: datetime) -> tuple[Any, datetime, list[datetime]]:
    """The prices, start and ran periods of a replan of a kept plan under way. The kept plan's own start is
    the window it kept its rules over; the periods started by now keep the prices they were planned with
    (a source may have dropped yesterday's by now), the later ones take the latest."""
    prices = {at(moment): price for moment, price in kept["prices"].items()}
    prices.update((moment, price) for moment, price in zip(series.instants, series.prices)
                  if moment in prices and moment > now)
    ran = [moment for moment in map(at, kept["periods"]) if moment <= now]
    return sorted(prices.items()), at(kept["planned_from"]), ran


def stored(planned: Schedule, window: tuple[datetime, datetime], given: Any) -> dict[str, Any]:
    """A schedule as the plain values the helper stores and shows. The prices kept are those `given` (a series
    or (moment, price) pairs), as the source gave them: a replan compares them with the source's and plans on
    them again, so prices paid or hours' averages kept would be paid or averaged twice."""
    series = planned.series
    begin, end = planned.window.start, planned.window.end
    pairs = zip(given.instants, given.prices) if isinstance(given, PriceSeries) else given
    return {
        "window": [window[0].isoformat(), window[1].isoformat()],
        "runs": [{"start": run.start.isoformat(), "end": run.end.isoformat(), "average": decimal_text(run.average)}
                 for run in planned.runs],
        "periods": [series.instants[i].isoformat() for i in planned.indices],
        "average": decimal_text(planned.average),
        "prices": {moment.isoformat(): price for moment, price in pairs if begin <= moment < end},
        "planned_from": planned.window.start.isoformat(),
        **pricing_shown(planned),
    } | _planned_on(planned)


def _planned_on(planned: Schedule) -> dict[str, Any]:
    """Where the plan was made on prices paid or on hours, the prices it was made on, by period, for the chart:
    it shows what the plan compared, not the source's spot prices."""
    if planned.price_model is None and planned.billing is None:
        return {}
    series, begin, end = planned.series, planned.window.start, planned.window.end
    return {"planned_on": {moment.isoformat(): price for moment, price in
                           zip(series.instants, series.prices) if begin <= moment < end}}


def prices_changed(plan: dict[str, Any], series: PriceSeries, now: datetime) -> bool:
    """Whether a price of a period of the plan that has not started yet differs in the series."""
    latest = {moment.isoformat(): price for moment, price in zip(series.instants, series.prices)}
    return any(Decimal(latest[moment]) != Decimal(price) for moment, price in plan["prices"].items()
               if moment in latest and at(moment) > now)


def at(text: str) -> datetime:
    """A moment the helper stored as ISO 8601 text."""
    moment = parse_timestamp(text)
    if moment is None:
        raise ValueError(f"not a stored moment: {text!r}")
    return moment
