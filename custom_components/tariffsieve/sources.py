"""Where a helper's prices come from: a price entity's attributes, or one of
core's price actions asked for today and tomorrow, each day's answer kept."""
from __future__ import annotations

from datetime import date, datetime, time, timedelta
from typing import Any

from homeassistant.core import HomeAssistant
from homeassistant.exceptions import HomeAssistantError
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError

from .const import CONF_AREA, CONF_PRICE_ENTITY, CONF_SOURCE, CONF_SOURCE_ENTRY, SOURCE_ENTITY

# Each action, the data it takes for one day, and where its answer keeps the list.
ACTIONS = {
    "nordpool": ("get_prices_for_date", lambda entry, area, day: {
        "config_entry": entry, "date": day.isoformat(), **({"areas": area} if area else {})}),
    "tibber": ("get_prices", lambda entry, area, day: {
        "start": _midnight(day).isoformat(), "end": _midnight(day + timedelta(days=1)).isoformat()}),
    "energyzero": ("get_energy_prices", lambda entry, area, day: {
        "config_entry": entry, "incl_vat": True, "start": _midnight(day).isoformat(),
        "end": (_midnight(day + timedelta(days=1)) - timedelta(seconds=1)).isoformat()}),
    "easyenergy": ("get_energy_usage_prices", lambda entry, area, day: {
        "config_entry": entry, "incl_vat": True, "start": _midnight(day).isoformat(),
        "end": (_midnight(day + timedelta(days=1)) - timedelta(seconds=1)).isoformat()}),
}


def _midnight(day: date) -> datetime:
    return datetime.combine(day, time(0), dt_util.get_default_time_zone())


def records_of(source: str, area: str | None, answer: dict[str, Any]) -> list[Any]:
    """The day's records in an action's answer: Nord Pool's keyed by area, Tibber's by home."""
    if source == "nordpool":
        found = answer.get(area) if area else next(iter(answer.values()), None)
    elif source == "tibber":
        homes = answer.get("prices") or {}
        found = homes.get(area) if area else next(iter(homes.values()), None)
    else:
        found = answer.get("prices")
    return list(found or ())


class PriceSource:
    """Fetches a helper's price data: decoded data the reader takes."""

    def __init__(self, hass: HomeAssistant, options: dict[str, Any]) -> None:
        self.hass = hass
        self.kind = options.get(CONF_SOURCE, SOURCE_ENTITY)
        self.entity_id = options.get(CONF_PRICE_ENTITY)
        self.entry_id = options.get(CONF_SOURCE_ENTRY)
        self.area = options.get(CONF_AREA) or None
        self.days: dict[str, list[Any]] = {}  # an action's records by day, once it answered with some
        self.name = self.entity_id if self.kind == SOURCE_ENTITY else f"{self.kind} prices"

    async def async_data(self, today: date) -> Any:
        """The price data known now; PriceDataError when the source has none."""
        if self.kind == SOURCE_ENTITY:
            state = self.hass.states.get(self.entity_id or "")
            if state is None:
                raise PriceDataError(f"{self.entity_id}: no such entity")
            return dict(state.attributes)
        # Ask only for days not answered yet: tomorrow's prices until they are published.
        self.days = {day: records for day, records in self.days.items() if day >= today.isoformat()}
        for day in (today, today + timedelta(days=1)):
            if day.isoformat() not in self.days:
                records = await self._ask(day)
                if records:
                    self.days[day.isoformat()] = records
        if not self.days:
            raise PriceDataError(f"{self.name}: no prices for today")
        return {day: self.days[day] for day in sorted(self.days)}

    async def _ask(self, day: date) -> list[Any]:
        service, data = ACTIONS[self.kind]
        try:
            answer = await self.hass.services.async_call(self.kind, service, data(self.entry_id, self.area, day),
                                                         blocking=True, return_response=True)
        except HomeAssistantError:  # not published yet, for some sources; also a source not set up
            return []
        return records_of(self.kind, self.area, answer or {})

    @property
    def polled(self) -> bool:
        return self.kind != SOURCE_ENTITY
