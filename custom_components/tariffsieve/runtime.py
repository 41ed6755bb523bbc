"""Run time read from an entity: *Run in total* and *Shortest run* may follow an input_number, number or sensor
in a unit of time (a car that needs more hours when its battery is low). The value is read whenever the plans
are made; a value the helper cannot read makes no plan, and the plans kept stay until it can."""
from __future__ import annotations

from dataclasses import dataclass, field
from datetime import datetime, timedelta
from decimal import ROUND_CEILING, Decimal, InvalidOperation
from typing import Any

from homeassistant.const import ATTR_UNIT_OF_MEASUREMENT, UnitOfTime
from homeassistant.core import HomeAssistant

from .const import CONF_TOTAL, RUN_TIME_ENTITIES
from .planner import at
from .rules import clock_text, duration_text

# Seconds in each of Home Assistant's units of time that read one way only and last the same each time: not
# "m" (months to Home Assistant, minutes to many people), nor weeks, months and years.
SECONDS = {UnitOfTime.SECONDS: 1, UnitOfTime.MINUTES: 60, UnitOfTime.HOURS: 3600, UnitOfTime.DAYS: 86400}
DOMAINS = ["input_number", "number", "sensor"]


@dataclass(frozen=True)
class Unread(Exception):
    """Why a run time cannot be read from its entity: a translation key, its values and the form's field."""

    key: str
    values: dict[str, str] = field(default_factory=dict)
    field: str | None = None


def entities(options: dict[str, Any]) -> list[str]:
    return [str(options[key]) for key in RUN_TIME_ENTITIES.values() if options.get(key)]


def choice_problem(options: dict[str, Any]) -> Unread | None:
    """A duration and an entity for one rule, or neither for the run in total."""
    for rule, entity_key in RUN_TIME_ENTITIES.items():
        given = duration_text(options.get(rule)) is not None, bool(options.get(entity_key))
        if all(given):
            return Unread("run_time_both", {}, entity_key)
        if rule == CONF_TOTAL and not any(given):
            return Unread("run_time_neither", {}, rule)
    return None


def read(hass: HomeAssistant, options: dict[str, Any]) -> dict[str, Decimal]:
    """The seconds each entity gives, by the rule it stands in for; Unread where one cannot be read."""
    seconds = {}
    for rule, entity_key in RUN_TIME_ENTITIES.items():
        entity_id = options.get(entity_key)
        if not entity_id:
            continue
        state = hass.states.get(entity_id)
        if state is None:
            raise Unread("run_time_missing", {"entity": entity_id}, entity_key)
        unit = state.attributes.get(ATTR_UNIT_OF_MEASUREMENT)
        if unit not in SECONDS:
            raise Unread("run_time_unit" if unit else "run_time_no_unit", {"entity": entity_id, "unit": str(unit)},
                         entity_key)
        try:
            value = Decimal(state.state)
        except InvalidOperation:
            value = Decimal("NaN")
        if not value.is_finite() or value < 0:
            # Unavailable, unknown or no number: guessing a run time would switch the load at a wrong time.
            raise Unread("run_time_value", {"entity": entity_id, "state": state.state}, entity_key)
        seconds[rule] = value * SECONDS[UnitOfTime(unit)]
    return seconds


def resolved(options: dict[str, Any], seconds: dict[str, Decimal], period: timedelta) -> dict[str, Any]:
    """The options with each entity's run time in place of the rule's, rounded up to whole periods: the rule is
    *at least* this long, and an entity that computes 2.37 h would otherwise never fit quarter hours."""
    every = Decimal(period // timedelta(seconds=1))
    rounded = {rule: clock_text((value / every).to_integral_value(ROUND_CEILING) * every)
               for rule, value in seconds.items()}
    return {**options, **rounded}


def shown(options: dict[str, Any]) -> dict[str, str]:
    """The run times planned with that came from entities, and the entities: kept with each plan, so that a new
    value plans again."""
    said: dict[str, str] = {}
    for rule, entity_key in RUN_TIME_ENTITIES.items():
        if options.get(entity_key):
            said |= {rule: str(options[rule]), entity_key: str(options[entity_key])}
    return said


def nothing_to_run(options: dict[str, Any]) -> bool:
    """Whether the entity asks for no run at all (a car already charged): the plan then keeps only what started."""
    return bool(options.get(RUN_TIME_ENTITIES[CONF_TOTAL])) and options.get(CONF_TOTAL) == clock_text(Decimal(0))


def nothing_ran(kept: dict[str, Any] | None, now: datetime) -> bool:
    """Whether no period of a window's kept plan has started by now."""
    return kept is None or not any(at(moment) <= now for moment in kept["periods"])


def no_runs(window: tuple[datetime, datetime]) -> dict[str, Any]:
    """A window's plan with no run: what the entity asks for when nothing is to run and nothing ran."""
    return {"window": [window[0].isoformat(), window[1].isoformat()], "runs": [], "periods": [], "average": None,
            "prices": {}, "planned_from": window[0].isoformat()}
