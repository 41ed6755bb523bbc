"""Whether settings can plan: the source gives a price series and each rule fits its periods. The form shows a
problem as a translated error; the preview shows the runs, or the same problem in words."""
from __future__ import annotations

from dataclasses import dataclass, field
from datetime import timedelta
from decimal import Decimal
from typing import Any

from homeassistant.const import ATTR_UNIT_OF_MEASUREMENT
from homeassistant.core import HomeAssistant
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError, PriceSeries
from tariffsieve_schedule import ScheduleError, seconds_of

from . import pricing, runtime
from .const import CONF_BLOCK, CONF_BLOCK_ENTITY, CONF_FEES_FILE, CONF_PRICE_ENTITY, CONF_TOTAL, RUN_TIME_ENTITIES, \
    SOURCE_ENTITY
from .fallback_form import fallback_problem
from .fallback_source import async_forecast_problem
from .form import Asked, reading_fields
from .planner import PLACEHOLDERS, check_options, series_of
from .rules import clock_text, duration_text
from .sources import PriceSource, SourceFailed



@dataclass(frozen=True)
class Problem:
    """Why settings cannot plan: a key of the translated errors, the values it shows, and the field it is about
    (a translated label is put in by whoever shows it); `asked` the reader's choice to offer in the form."""

    key: str
    values: dict[str, str] = field(default_factory=dict)
    field: str | None = None
    asked: Asked | None = None


@dataclass(frozen=True)
class Checked:
    """Settings that plan: the series read, and the unit of its prices where the source says."""

    series: PriceSeries
    unit: str | None
    # The options as the plans take them: a fee file located, run times from entities in whole periods.
    planned: dict[str, Any] = field(default_factory=dict)


def _asked_field(exc: PriceDataError, kind: str, options: dict[str, Any]) -> str | None:
    """The form's field that takes the choice the reader asks for; None where the form has none for it."""
    if exc.choice not in reading_fields(kind):
        return None
    # Finding no records at all, the reader asks for their time field: the source is the likelier fault, unless
    # the user named that field or the reader found records to name it from.
    if exc.choice == "time_field" and not exc.candidates and not options.get("time_field"):
        return None
    return exc.choice


def entity_unit(hass: HomeAssistant, options: dict[str, Any]) -> str | None:
    """The unit of the price entity's prices, for the cheap price's box."""
    state = hass.states.get(options.get(CONF_PRICE_ENTITY) or "")
    return None if state is None else state.attributes.get(ATTR_UNIT_OF_MEASUREMENT)


def nearest(error: ScheduleError, resolution: timedelta) -> dict[str, str]:
    """For a duration that is no whole number of periods, the whole numbers either side of it."""
    if error.reason != "not_whole":
        return {}
    every = Decimal(resolution // timedelta(seconds=1))
    seconds = seconds_of(error.field, error.values.get("text", "0"))
    below = seconds // every * every
    return {"lower": clock_text(below) if below else "", "upper": clock_text(below + every)}


def schedule_problem(error: ScheduleError, resolution: timedelta, fields: dict[str, str],
                     options: dict[str, Any] | None = None) -> Problem:
    priced = pricing.problem_of(error, options or {})
    if priced is not None:
        return Problem(*priced)
    values = {key: "" if value is None else str(value) for key, value in error.values.items() if key in PLACEHOLDERS}
    key = error.reason
    values |= nearest(error, resolution)
    if key == "not_whole" and not values.get("lower"):
        key = "not_whole_one"
    return Problem(key, values, fields.get(error.field))


async def async_check(hass: HomeAssistant, options: dict[str, Any], fields: dict[str, str]) -> Checked | Problem:
    """Reads the source's prices and plans the first day on them with the settings; `fields` maps the planning
    library's argument names to the form's fields."""
    ahead = await _async_run_time_and_fees(hass, options)
    if isinstance(ahead, Problem):
        return ahead
    source = PriceSource(hass, options)
    unit = entity_unit(hass, options) if source.kind == SOURCE_ENTITY else None
    try:
        data = await source.async_data(dt_util.now().date())
        series = await hass.async_add_executor_job(series_of, data, dt_util.get_default_time_zone(), source.name,
                                                   source.reading(options))
    except SourceFailed as exc:
        # Said as what it is (an entity unavailable, an action missing), not as prices that cannot be read.
        return Problem(exc.key, {key: str(value) for key, value in exc.values.items()},
                       None if exc.field == "base" else exc.field)
    except PriceDataError as exc:
        asked = _asked_field(exc, source.kind, options)
        if asked:
            return Problem(f"pick_{asked}", {}, asked, (asked, exc.candidates))
        return Problem("no_prices", {"detail": str(exc)},
                       CONF_PRICE_ENTITY if source.kind == SOURCE_ENTITY else "source_entry")
    # The rules as the plans take them: a run time from an entity in whole periods (of hours where billed so).
    period = timedelta(hours=1) if pricing.billing(options) else series.resolution
    planned = runtime.resolved(ahead, ahead_seconds(hass, ahead), period)
    try:
        await hass.async_add_executor_job(check_options, planned, series)
    except ScheduleError as exc:
        return schedule_problem(exc, series.resolution, fields, options)
    fallback = fallback_problem(planned, series.resolution) or await async_forecast_problem(hass, options)
    if fallback is not None:
        return Problem(*fallback)
    return Checked(series, unit, planned)


async def _async_run_time_and_fees(hass: HomeAssistant, options: dict[str, Any]) -> dict[str, Any] | Problem:
    """The options with a fee file's path located, or what is wrong with the run time's entities or the fee file
    before any price is read."""
    unread = runtime.choice_problem(options)
    try:
        runtime.read(hass, options)
    except runtime.Unread as exc:
        # An entity without a value now is no fault of the settings: the helper plans once it has one.
        unread = unread or (None if exc.key == "run_time_value" else exc)
    if unread is not None:
        return Problem(unread.key, unread.values, unread.field)
    located = pricing.located(hass.config.config_dir, options)
    refused = await hass.async_add_executor_job(pricing.file_refused, hass, located)
    if refused is not None:
        return Problem("fees_file_not_allowed", {"path": refused}, CONF_FEES_FILE)
    return located


def ahead_seconds(hass: HomeAssistant, options: dict[str, Any]) -> dict[str, Decimal]:
    """The run times the entities give now. For an entity without a value, the least the other rules allow (a
    total as long as a fixed shortest run, else one period), so that they and the price options are still
    checked."""
    try:
        return runtime.read(hass, options)
    except runtime.Unread:
        block, least = duration_text(options.get(CONF_BLOCK)), Decimal(1)
        if block and not options.get(CONF_BLOCK_ENTITY):
            try:
                least = max(seconds_of("block", block), least)
            except ValueError:  # no duration: the check names it as the shortest run's fault
                pass
        return {rule: least if rule == CONF_TOTAL else Decimal(1)
                for rule, key in RUN_TIME_ENTITIES.items() if options.get(key)}
