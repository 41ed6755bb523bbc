"""The tariffsieve.get_plans action: a helper's kept plans, as the plan action answers one (with its chart), for a
dashboard card or a script to draw or read. A second action rather than a field of tariffsieve.plan: that one plans
on prices and rules, this one plans nothing, and a form that took either would hide which fields matter."""
from __future__ import annotations

from typing import Any

from homeassistant.config_entries import ConfigEntryState
from homeassistant.const import ATTR_ENTITY_ID
from homeassistant.core import HomeAssistant, ServiceCall, ServiceResponse, SupportsResponse
from homeassistant.exceptions import ServiceValidationError
from homeassistant.helpers import config_validation as cv
from homeassistant.helpers import entity_registry as er

from .chart import shown
from .const import DOMAIN
from .keeper import PlanKeeper
from .planner import at
from .validation import vol

SCHEMA = vol.Schema({vol.Required(ATTR_ENTITY_ID): cv.entity_ids})


def async_register_plans_action(hass: HomeAssistant) -> None:
    async def get_plans(call: ServiceCall) -> ServiceResponse:
        keepers = {entity_id: keeper_of(hass, entity_id) for entity_id in call.data[ATTR_ENTITY_ID]}
        return {entity_id: {"plans": [shown(keeper.plans[key]) for key in sorted(keeper.plans, key=at)]}
                for entity_id, keeper in keepers.items()}

    hass.services.async_register(DOMAIN, "get_plans", get_plans, schema=SCHEMA,
                                 supports_response=SupportsResponse.ONLY)


def keeper_of(hass: HomeAssistant, entity_id: str) -> PlanKeeper:
    """The keeper of the helper an entity belongs to; ServiceValidationError naming the entity if none."""
    entity = er.async_get(hass).async_get(entity_id)
    entry = hass.config_entries.async_get_entry(entity.config_entry_id or "") if entity else None
    if entity is None or entity.platform != DOMAIN or entry is None:
        raise ServiceValidationError(f"{entity_id} is not a tariffsieve helper's entity", translation_domain=DOMAIN,
                                     translation_key="not_helper", translation_placeholders={"entity": entity_id})
    if entry.state is not ConfigEntryState.LOADED:
        raise ServiceValidationError(f"{entity_id}: its helper is not loaded ({entry.state.value})",
                                     translation_domain=DOMAIN, translation_key="helper_not_loaded",
                                     translation_placeholders={"entity": entity_id, "state": entry.state.value})
    keeper: PlanKeeper = entry.runtime_data
    return keeper
