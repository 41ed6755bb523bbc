"""Setting the helper up in the UI, on Home Assistant's schema flow: a name and the kind of price source, then the
source, the rules and the daily window, with a live preview of the runs; the options flow changes the same
settings later. Each submit is checked against the source's prices, and a problem is shown once, translated."""
from __future__ import annotations

from collections.abc import Mapping
from typing import Any

from homeassistant.const import CONF_NAME
from homeassistant.core import HomeAssistant, callback
from homeassistant.helpers.schema_config_entry_flow import (SchemaCommonFlowHandler, SchemaConfigFlowHandler,
                                                            SchemaFlowError, SchemaFlowFormStep)

from .checks import Problem, async_check, entity_unit
from .const import CONF_MULTIPLIER, CONF_SOURCE, DOMAIN, SOURCE_ENTITY
from .form import USER_SCHEMA, settings_schema, suggested
from .labels import async_label
from .planner import FIELD_KEYS
from .preview import async_setup_preview_api

_PROBLEM, _UNIT = "problem", "unit"


def _kind(handler: SchemaCommonFlowHandler) -> str:
    return str(handler.options.get(CONF_SOURCE, SOURCE_ENTITY))


def _unit(handler: SchemaCommonFlowHandler) -> str | None:
    """The unit of the price entity's prices, for the cheap price's box: the one last checked, else the stored
    entity's."""
    if handler.options.get(CONF_MULTIPLIER) not in (None, "", 1):
        # The cheap price and the add-on are in the prices' unit after the multiplier (0.001 makes MWh kWh),
        # which no entity names: the box shows none rather than a wrong one.
        return None
    if handler.flow_state.get(_UNIT):
        return str(handler.flow_state[_UNIT])
    return entity_unit(handler.parent_handler.hass, handler.options)


async def _settings(handler: SchemaCommonFlowHandler) -> Any:
    problem: Problem | None = handler.flow_state.get(_PROBLEM)
    kind = _kind(handler)
    # Remembered for the preview, which is told only the flow's id.
    handler.parent_handler.context["price_source"] = kind  # type: ignore[typeddict-unknown-key]
    return settings_schema(kind, problem.asked if problem else None, _unit(handler))


async def _validate(handler: SchemaCommonFlowHandler, user_input: dict[str, Any]) -> dict[str, Any]:
    """The settings plan on the source's prices, or the problem is shown on the form."""
    handler.flow_state[_PROBLEM] = None
    options = {CONF_SOURCE: _kind(handler), **user_input}
    checked = await async_check(handler.parent_handler.hass, options, FIELD_KEYS)
    if isinstance(checked, Problem):
        handler.flow_state[_PROBLEM] = checked
        raise SchemaFlowError(checked.key)
    handler.flow_state[_UNIT] = checked.unit
    return user_input


async def _placeholders(handler: SchemaCommonFlowHandler) -> dict[str, str]:
    """The values the shown error names, with the field it is about by its label in the user's language."""
    problem: Problem | None = handler.flow_state.get(_PROBLEM)
    if problem is None:
        return {}
    hass = handler.parent_handler.hass
    label = await async_label(hass, problem.field) if problem.field else ""
    return {**problem.values, "field": label}


async def _suggested(handler: SchemaCommonFlowHandler) -> dict[str, Any]:
    return suggested(handler.options)


def _settings_step() -> SchemaFlowFormStep:
    return SchemaFlowFormStep(_settings, validate_user_input=_validate, preview=DOMAIN,
                              description_placeholders=_placeholders, suggested_values=_suggested)


CONFIG_FLOW = {"user": SchemaFlowFormStep(USER_SCHEMA, next_step="settings"), "settings": _settings_step()}
OPTIONS_FLOW = {"init": _settings_step()}


class TariffsieveConfigFlow(SchemaConfigFlowHandler, domain=DOMAIN):
    """Name and source kind first, then the settings; the options flow shows the settings again."""

    VERSION = 1
    config_flow = CONFIG_FLOW
    options_flow = OPTIONS_FLOW
    options_flow_reloads = True

    @callback
    def async_config_entry_title(self, options: Mapping[str, Any]) -> str:
        return str(options[CONF_NAME])

    @staticmethod
    async def async_setup_preview(hass: HomeAssistant) -> None:
        async_setup_preview_api(hass)
