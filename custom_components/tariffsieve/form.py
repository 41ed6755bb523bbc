"""The forms: the price source, then its settings, the rules and the daily window, each with Home Assistant's own
widget (a duration picker for durations, a number box in the source's unit for the cheap price)."""
from __future__ import annotations

from typing import Any

from homeassistant.const import CONF_NAME
from homeassistant.helpers import selector

from .const import ACTION_SOURCES, CONF_AREA, CONF_BLOCK, CONF_CHEAP, CONF_FROM, CONF_MAX_OFF, CONF_PRICE_ENTITY, \
    CONF_SOURCE, CONF_SOURCE_ENTRY, CONF_START_WITHIN, CONF_STRATEGY, CONF_TOTAL, CONF_UNTIL, DURATIONS, \
    READING_CHOICES, SOURCE_ENTITY, STRATEGIES
from .fallback_form import FIELDS as FALLBACK_FIELDS
from .const import CONF_ADD_ON, CONF_BLOCK_ENTITY, CONF_FEES, CONF_FEES_FILE, CONF_HOURLY, CONF_MULTIPLIER, \
    CONF_TOTAL_ENTITY, CONF_VAT
from .runtime import DOMAINS as RUN_TIME_DOMAINS
from .rules import duration_picker
from .sources import ACTIONS
from .validation import vol


_TEXT = selector.TextSelector()
_DURATION = selector.DurationSelector(selector.DurationSelectorConfig(enable_day=False))
# A run time that follows an entity, beside the picker: one of the two is given (checks say so otherwise).
_RUN_TIME_ENTITY = selector.EntitySelector(selector.EntitySelectorConfig(domain=RUN_TIME_DOMAINS))
# A choice the reader asked for: the field that takes it, and what the reader offers.
type Asked = tuple[str, tuple[str, ...]]

USER_SCHEMA = vol.Schema({
    vol.Required(CONF_NAME): selector.TextSelector(),
    vol.Required(CONF_SOURCE, default=SOURCE_ENTITY): selector.SelectSelector(selector.SelectSelectorConfig(
        options=[SOURCE_ENTITY, *ACTION_SOURCES], translation_key=CONF_SOURCE)),
})


def reading_fields(kind: str) -> tuple[str, ...]:
    """The choices of how to read the prices that the form offers for a kind of source."""
    # An action's answer is laid out by the helper, day by day: only its records' prices can need naming.
    return READING_CHOICES if kind == SOURCE_ENTITY else READING_CHOICES[-1:]


def _offering(candidates: tuple[str, ...]) -> selector.SelectSelector:
    """A field offering the reader's candidates, taking a path typed in too: they need not be all there is."""
    return selector.SelectSelector(selector.SelectSelectorConfig(
        options=list(candidates), custom_value=True, mode=selector.SelectSelectorMode.DROPDOWN))


def _source_fields(kind: str) -> dict[Any, Any]:
    """The source's own fields: the entity, or what its action takes (sources.ACTIONS says which)."""
    if kind == SOURCE_ENTITY:
        return {vol.Required(CONF_PRICE_ENTITY): selector.EntitySelector()}
    action, fields = ACTIONS[kind], dict[Any, Any]()
    if action.entry:
        entry_key = vol.Required if action.entry_required else vol.Optional
        fields[entry_key(CONF_SOURCE_ENTRY)] = selector.ConfigEntrySelector(
            selector.ConfigEntrySelectorConfig(integration=kind))
    if action.area:
        fields[vol.Optional(CONF_AREA, default=action.default_area or vol.UNDEFINED)] = selector.SelectSelector(
            selector.SelectSelectorConfig(options=list(action.areas), translation_key=CONF_AREA)) \
            if action.areas else _TEXT
    return fields


def settings_schema(kind: str, asked: Asked | None = None, unit: str | None = None) -> vol.Schema:
    """The source's fields for its kind (the one the reader asks for offering its candidates), the rules and the
    window."""
    fields = _source_fields(kind)
    for key in reading_fields(kind):
        fields[vol.Optional(key)] = _offering(asked[1]) if asked and asked[0] == key and asked[1] else _TEXT
    cheap = selector.NumberSelectorConfig(mode=selector.NumberSelectorMode.BOX, step="any")
    if unit:
        cheap["unit_of_measurement"] = unit
    fields |= {
        vol.Optional(CONF_TOTAL): _DURATION,
        vol.Optional(CONF_TOTAL_ENTITY): _RUN_TIME_ENTITY,
        vol.Optional(CONF_BLOCK): _DURATION,
        vol.Optional(CONF_BLOCK_ENTITY): _RUN_TIME_ENTITY,
        vol.Optional(CONF_MAX_OFF): _DURATION,
        vol.Optional(CONF_START_WITHIN): _DURATION,
        vol.Optional(CONF_CHEAP): selector.NumberSelector(cheap),
        vol.Required(CONF_STRATEGY, default="average"): selector.SelectSelector(selector.SelectSelectorConfig(
            options=list(STRATEGIES), translation_key=CONF_STRATEGY)),
        vol.Required(CONF_FROM, default="00:00:00"): selector.TimeSelector(),
        vol.Required(CONF_UNTIL, default="00:00:00"): selector.TimeSelector(),
    }
    fields |= FALLBACK_FIELDS
    return vol.Schema(fields | _price_fields(unit))


def _number(unit: str | None = None) -> selector.NumberSelector:
    config = selector.NumberSelectorConfig(mode=selector.NumberSelectorMode.BOX, step="any")
    if unit:
        config["unit_of_measurement"] = unit
    return selector.NumberSelector(config)


def _price_fields(unit: str | None) -> dict[Any, Any]:
    """The price paid (a multiplier, an add-on in the source's unit, VAT in percent, a fee table as text or a
    file) and hourly billing."""
    return {
        vol.Optional(CONF_MULTIPLIER): _number(),
        vol.Optional(CONF_ADD_ON): _number(unit),
        vol.Optional(CONF_VAT): _number("%"),
        vol.Optional(CONF_FEES): selector.TextSelector(selector.TextSelectorConfig(multiline=True)),
        vol.Optional(CONF_FEES_FILE): _TEXT,
        vol.Optional(CONF_HOURLY): selector.BooleanSelector(),
    }


def suggested(options: dict[str, Any]) -> dict[str, Any]:
    """The stored settings as the form shows them: durations stored as text before the picker become its
    values."""
    shown = dict(options)
    for key in DURATIONS:
        if key in shown:
            shown[key] = duration_picker(shown[key])
            if shown[key] is None:
                del shown[key]
    return shown
