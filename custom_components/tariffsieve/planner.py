"""Plans of one window from a price series and the helper's options, as plain
values that are stored, compared and shown; no Home Assistant objects here."""
from __future__ import annotations

from datetime import date, datetime, time, timedelta, tzinfo
from decimal import Context, Decimal, localcontext
from typing import Any

from tariffsieve_plan.errors import BadInput
from tariffsieve_plan.planning import PlanRefused, make_plan, rules_in_periods
from tariffsieve_plan.window import plan_window
from tariffsieve_prices import PriceDataError, PriceSeries, read_prices
from tariffsieve_prices.prices import price_text

from .const import CONF_BLOCK, CONF_CHEAP, CONF_FROM, CONF_MAX_OFF, CONF_PRICE_FIELD, CONF_RECORDS, CONF_START_WITHIN, \
    CONF_STRATEGY, CONF_TIME_FIELD, CONF_TOTAL, CONF_UNTIL

# The labels rules are named by in messages, as the form shows them.
LABELS = {CONF_TOTAL: "Run in total", CONF_BLOCK: "Shortest run", CONF_MAX_OFF: "Longest time off",
          CONF_START_WITHIN: "Start within"}
# The option that holds each of plan's timing rules.
RULE_KEYS = {"min_selections": CONF_TOTAL, "min_consecutive_periods": CONF_BLOCK,
             "max_gap_between_periods": CONF_MAX_OFF, "max_gap_from_start": CONF_START_WITHIN}


class NoPlan(Exception):
    """Why a window has no plan: the prices do not cover it yet, or the rules cannot be met."""

    def __init__(self, reason: str, message: str) -> None:
        super().__init__(message)
        self.reason = reason


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


def seconds_of(series: PriceSeries) -> Decimal:
    return Decimal(series.resolution // timedelta(microseconds=1)) / 1000000


def rules_of(options: dict[str, Any], seconds: Decimal, count: int) -> dict[str, int]:
    """The rules in periods of `seconds`, as plan takes them; BadInput names the rule at fault."""
    return rules_in_periods({rule: options.get(key) for rule, key in RULE_KEYS.items()},
                            {rule: LABELS[key] for rule, key in RULE_KEYS.items()}, seconds, count)


def threshold_of(options: dict[str, Any]) -> str | None:
    cheap = options.get(CONF_CHEAP)
    if cheap in (None, ""):
        return None
    try:
        return price_text(str(cheap), "Cheap price", "")
    except PriceDataError:
        raise BadInput(f"Cheap price {cheap}: not a decimal number (such as 0.05)") from None


def check_options(options: dict[str, Any], series: PriceSeries) -> None:
    """BadInput when a rule is not a whole number of the series' periods or the threshold is not a number."""
    rules_of(options, seconds_of(series), len(series))
    threshold_of(options)


def _clock(text: str) -> time:
    return time.fromisoformat(text)


def window_on(day: date, options: dict[str, Any], zone: tzinfo) -> tuple[datetime, datetime]:
    """The window that opens on day: from one clock time to the next (the next day when not later)."""
    begin, until = _clock(options.get(CONF_FROM) or "00:00:00"), _clock(options.get(CONF_UNTIL) or "00:00:00")
    start = datetime.combine(day, begin, zone)
    end = datetime.combine(day + timedelta(days=0 if until > begin else 1), until, zone)
    return start, end


def shown(number: Decimal) -> str:
    """A price as plain decimal text without trailing zeros: 0.0436."""
    with localcontext(Context(prec=80)):  # the default 28 digits would cut a 29-digit average
        return f"{number.normalize():f}"


def make_window_plan(series: PriceSeries, window: tuple[datetime, datetime], options: dict[str, Any],
                     now: datetime) -> dict[str, Any]:
    """The plan of the window's periods that have not started by now, as stored values; NoPlan if none."""
    start, end = window
    # A window already running is planned from the next period on.
    begin = max(start, now)
    try:
        first, last = plan_window(series, begin.isoformat(), end.isoformat(), False, now)
    except BadInput:
        raise NoPlan("waiting_for_prices", f"the prices do not cover the window from {begin.isoformat()} to "
                                           f"{end.isoformat()} yet") from None
    try:
        rules = rules_of(options, seconds_of(series), last - first)
        plan = make_plan(series, first, last, rules, threshold_of(options),
                         options.get(CONF_STRATEGY, "average") == "average")
    except (BadInput, PlanRefused) as exc:
        raise NoPlan("no_valid_selection", f"no valid selection in the {last - first} periods of the window: "
                                           f"{exc}") from None
    return {
        "window": [start.isoformat(), end.isoformat()],
        "runs": [{"start": series.starts[run.first].isoformat(), "end": series.end(run.last).isoformat(),
                  "average": shown(run.average)} for run in plan.runs],
        "periods": [series.instants[i].isoformat() for i in plan.chosen],
        "average": shown(plan.average) if plan.average is not None else None,
        "prices": {series.instants[i].isoformat(): series.prices[i] for i in range(first, last)},
        "planned_from": series.starts[first].isoformat(),
    }


def prices_changed(plan: dict[str, Any], series: PriceSeries, now: datetime) -> bool:
    """Whether a price of a period of the plan that has not started yet differs in the series."""
    latest = {moment.isoformat(): price for moment, price in zip(series.instants, series.prices)}
    return any(Decimal(latest[moment]) != Decimal(price) for moment, price in plan["prices"].items()
               if moment in latest and datetime.fromisoformat(moment) > now)
