# schedule(): prices with timestamps, rules as durations and a window in,
# runs in time out. The engine chooses the periods and computes every total
# and average; this layer only turns time into periods and back.
from __future__ import annotations

from dataclasses import replace
from datetime import datetime, time, timedelta, timezone, tzinfo
from decimal import Decimal
from collections.abc import Iterable
from typing import Any, Optional, Union

import tariffsieve
from tariffsieve_prices import PriceDataError, PriceSeries, price_text
from tariffsieve_schedule.durations import as_text, to_periods
from tariffsieve_schedule.errors import RuleError, ScheduleError
from tariffsieve_schedule.hourly import BILLINGS, hourly_series
from tariffsieve_schedule.inputs import as_series, zone_of
from tariffsieve_schedule.rest import complete, past_of, ran_indices, totals
from tariffsieve_schedule.result import Request, Run, Schedule, Window
from tariffsieve_schedule.tariff import PriceModel, paid_series
from tariffsieve_schedule.window import plan_window

Duration = Union[timedelta, str]
Moment = Union[datetime, time, str, None]
STRATEGIES = {"average": True, "cheap_periods": False, "cheap-periods": False}
# The engine's parameter of each timing rule, by schedule()'s argument.
RULES = {"total": "min_selections", "block": "min_consecutive_periods", "max_off": "max_gap_between_periods",
         "start_within": "max_gap_from_start"}
LONGEST_WINDOW = 2016
# Below every price: without a threshold no period is cheap.
_NONE_CHEAP = str(1 - 2 ** 96)
# The engine's refusals: the argument each is about, and what is wrong with it.
_REFUSALS = {
    "min_selections must be greater than 0": ("total", "zero"),
    "min_selections cannot be greater than total number of items": ("total", "longer_than_window"),
    "min_consecutive_periods must be greater than 0": ("block", "zero"),
    "min_consecutive_periods cannot be greater than min_selections": ("block", "longer_than_total"),
    "max_gap_from_start must be less than or equal to max_gap_between_periods": ("start_within",
                                                                                 "longer_than_max_off"),
}
_SENTENCES = {
    "zero": "{name} must be at least one period",
    "longer_than_window": "{name} {text} is {periods} periods, more than the {count} periods of the window",
    "longer_than_total": "{name} {text} is {periods} periods, longer than the total of {total} periods",
    "longer_than_max_off": "{name} {text} is {periods} periods, longer than the longest time off ({max_off} periods)",
    "too_long": "{name} {text} is too long to count in periods",
    "overflow": "{name}: sums of these prices leave the range of exact decimals",
    "too_many_periods": "{name}: the window holds {count} periods, more than the {most} one plan takes",
}


def _threshold(cheap: Any) -> "str | None":
    if cheap is None or cheap == "":
        return None
    try:
        return price_text(cheap, "", "")
    except PriceDataError:
        raise ScheduleError("{name} {text}: not a decimal number (such as 0.0500)", "cheap", "not_number",
                            text=str(cheap)) from None


def _rules(durations: "dict[str, Any]", series: PriceSeries, count: int) -> "dict[str, int]":
    seconds = Decimal(series.resolution // timedelta(microseconds=1)) / 1000000
    periods = {field: None if value in (None, "") else to_periods(field, value, seconds)
               for field, value in durations.items()}
    max_off = count if periods["max_off"] is None else periods["max_off"]
    return {"total": periods["total"] or 0, "block": 1 if periods["block"] is None else periods["block"],
            "max_off": max_off, "start_within": max_off if periods["start_within"] is None else periods["start_within"]}


def _refusal(message: str, rules: "dict[str, int]", durations: "dict[str, Any]", count: int,
             too_long: bool = False) -> RuleError:
    field, reason = _REFUSALS.get(message, ("prices", "overflow" if "overflow" in message else "no_selection"))
    if too_long:
        field, reason = max(rules, key=rules.__getitem__), "too_long"
    values = dict(engine=message, rules=dict(rules), count=count, text=as_text(durations.get(field) or ""),
                  periods=rules.get(field), total=rules["total"], max_off=rules["max_off"])
    return RuleError(_SENTENCES.get(reason, "{name}: {engine}"), field, reason, **values)


def _engine(prices: "list[str]", request: Request, rules: "dict[str, int]", durations: "dict[str, Any]") -> tuple:
    try:
        return tariffsieve.plan_totals(prices, **request.as_dict())
    except OverflowError as exc:
        raise _refusal(str(exc), rules, durations, len(prices), too_long=True) from None
    except ValueError as exc:
        raise _refusal(str(exc), rules, durations, len(prices)) from None


def schedule(prices: Any, *, total: Duration, block: Optional[Duration] = None, max_off: Optional[Duration] = None,
             start_within: Optional[Duration] = None, cheap: Any = None, strategy: str = "average",
             start: Moment = None, end: Moment = None, tz: "str | tzinfo | None" = None, partial: bool = False,
             now: Optional[datetime] = None, ran: Optional[Iterable[Union[datetime, str]]] = None,
             price_model: Optional[PriceModel] = None, billing: Optional[str] = None) -> Schedule:
    """Plan a load on prices with timestamps; see the package's documentation. With `ran` (the starts of the
    periods that already ran), the window is under way at `now` and only what is left of it is planned.
    With `price_model` the plan is made on the prices paid; with billing="hourly" on whole clock hours."""
    if strategy not in STRATEGIES:
        raise ScheduleError("{name} {text}: not a strategy (average or cheap_periods)", "strategy", "unknown",
                            text=str(strategy))
    if billing not in BILLINGS:
        raise ScheduleError("{name} {text}: not a billing (hourly, or None for the series' own periods)",
                            "billing", "unknown", text=str(billing))
    threshold = _threshold(cheap)
    series = _billed(as_series(prices, zone_of(tz)), price_model, billing)
    first, last = plan_window(series, start, end, partial, now)
    count = last - first
    durations = {"total": total, "block": block, "max_off": max_off, "start_within": start_within}
    rules = _rules(durations, series, count)
    if count > LONGEST_WINDOW:
        raise RuleError(_SENTENCES["too_many_periods"], "end" if end is not None else "prices", "too_many_periods",
                        count=count, most=LONGEST_WINDOW, engine="", rules=rules)
    request = Request(threshold if threshold is not None else _NONE_CHEAP, rules["total"], rules["block"],
                      rules["max_off"], rules["start_within"], STRATEGIES[strategy])
    answer = _engine(series.prices[first:last], request, rules, durations)
    if ran is not None:
        answer, ran = _rest(series, first, last, request, rules, ran, now or datetime.now(timezone.utc), answer)
    plan = _schedule(series, first, last, request, threshold, *answer, ran=ran or ())
    if price_model is None and billing is None:
        return plan
    return replace(plan, price_model=price_model, billing=billing)


def _billed(series: PriceSeries, price_model: Optional[PriceModel], billing: Optional[str]) -> PriceSeries:
    """The series as billed: prices paid in place of spot prices (per period, where the
    fee's clock time is finest), then averaged to hours. Both are linear, so the hours'
    averages are the prices paid on the hours' average spot prices and fees."""
    if price_model is not None:
        if not isinstance(price_model, PriceModel):
            raise ScheduleError("{name}: give a PriceModel, not {text}", "price_model", "not_model",
                                text=type(price_model).__name__)
        series = paid_series(series, price_model)
    return hourly_series(series) if billing == "hourly" else series


def _rest(series: PriceSeries, first: int, last: int, request: Request, rules: "dict[str, int]",
          ran: Iterable[Union[datetime, str]], now: datetime, whole: tuple) -> tuple:
    """The window's plan with its past kept: the periods that started by now as they ran, then the rest.
    The plan of the whole window (already made, which checks the rules) stands where nothing has started."""
    past = past_of(series, first, last, now)
    done = ran_indices(series, first, past, ran)
    moments = tuple(series.starts[first + i] for i in sorted(done))
    if past == 0:
        return whole, moments
    prices = series.prices[first:last]
    rest = complete(prices, past, done, rules, request.low_price_threshold, request.aggressive)
    return totals(prices, sorted(done) + rest, request.low_price_threshold), moments


def _number(text: str) -> Decimal:
    """The engine's plain decimal text as a Decimal without trailing zeros after the point: 0.096, 10, 0."""
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return Decimal(text)


def _schedule(series: PriceSeries, first: int, last: int, request: Request, threshold: "str | None",
              indices: "list[int]", total: str, average: "str | None", runs: list,
              ran: "tuple[datetime, ...]" = ()) -> Schedule:
    chosen = tuple(first + i for i in indices)
    limit = Decimal(threshold) if threshold is not None else None
    return Schedule(
        runs=tuple(Run(series.starts[first + a], series.end(first + b), b - a + 1, first + a, first + b,
                       _number(run_total), _number(run_average)) for a, b, run_total, run_average in runs),
        chosen=tuple(series.starts[i] for i in chosen), indices=chosen, total=_number(total),
        average=_number(average) if average is not None else None,
        cheap=sum(Decimal(series.prices[i]) <= limit for i in chosen) if limit is not None else 0,
        threshold=limit, window=Window(series.starts[first], series.end(last - 1), first, last - first),
        request=request, series=series, resolution=series.resolution, ran=ran)
