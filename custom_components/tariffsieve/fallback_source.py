"""Where the forecast rule reads its list: the entity chosen for it, else the price entity. Read only when that
rule is picked, so a forecast is never taken for prices unless the user chose it."""
from __future__ import annotations

from typing import Any

from homeassistant.core import HomeAssistant
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError

from .const import CONF_FALLBACK_ENTITY, CONF_FALLBACK_FORECAST, CONF_PRICE_ENTITY, FALLBACK_FORECAST
from .fallback import forecast_series, rule_of
from .fallback_form import FallbackProblem


def forecast_entity(options: dict[str, Any]) -> str | None:
    return options.get(CONF_FALLBACK_ENTITY) or options.get(CONF_PRICE_ENTITY) or None


def forecast_data(hass: HomeAssistant, options: dict[str, Any]) -> dict[str, Any] | None:
    """The forecast entity's attributes under the forecast rule; None otherwise, or while it has no state."""
    entity_id = forecast_entity(options) if rule_of(options) == FALLBACK_FORECAST else None
    state = hass.states.get(entity_id) if entity_id else None
    return None if state is None else dict(state.attributes)


async def async_forecast_problem(hass: HomeAssistant, options: dict[str, Any]) -> FallbackProblem | None:
    """Why the forecast rule's list cannot be read now; None where it can (or another rule is picked)."""
    if rule_of(options) != FALLBACK_FORECAST:
        return None
    entity_id = forecast_entity(options)
    if entity_id is None:  # an action source, with no entity named for the forecast
        return "fallback_entity_missing", {}, CONF_FALLBACK_ENTITY
    data = forecast_data(hass, options)
    if data is None:
        return "entity_missing", {"entity": entity_id}, CONF_FALLBACK_ENTITY
    try:
        await hass.async_add_executor_job(forecast_series, data, dt_util.get_default_time_zone(), options)
    except PriceDataError as exc:
        return "fallback_forecast_unreadable", {"entity": entity_id, "detail": str(exc)}, CONF_FALLBACK_FORECAST
    return None
