"""Setting the helper up in the UI: a name and the kind of price source, then
the source, the rules as durations and the daily window; the options flow
changes the same settings later. Each is checked against the source's prices."""
from __future__ import annotations

from typing import Any

import voluptuous as vol
from homeassistant.config_entries import ConfigEntry, ConfigFlow, ConfigFlowResult, OptionsFlow
from homeassistant.const import CONF_NAME
from homeassistant.core import HomeAssistant, callback
from homeassistant.helpers import selector
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError
from tariffsieve_schedule import ScheduleError

from .const import ACTION_SOURCES, CONF_AREA, CONF_BLOCK, CONF_CHEAP, CONF_FROM, CONF_MAX_OFF, CONF_PRICE_ENTITY, \
    CONF_PRICE_FIELD, CONF_SOURCE, CONF_SOURCE_ENTRY, CONF_START_WITHIN, CONF_STRATEGY, CONF_TIME_FIELD, CONF_TOTAL, \
    CONF_UNTIL, DOMAIN, READING_CHOICES, SOURCE_ENTITY, STRATEGIES
from .planner import FIELD_KEYS, check_options, placeholders, series_of
from .sources import ACTIONS, PriceSource, SourceFailed

_TEXT = selector.TextSelector()
# A choice the reader asked for: the field that takes it, and what the reader offers.
type Asked = tuple[str, tuple[str, ...]]


def _reading_fields(kind: str) -> tuple[str, ...]:
    """The choices of how to read the prices that the form offers for a kind of source."""
    # An action's answer is laid out by the helper, day by day: only its records' prices can need naming.
    return READING_CHOICES if kind == SOURCE_ENTITY else (CONF_PRICE_FIELD,)


def _offering(candidates: tuple[str, ...]) -> selector.SelectSelector:
    """A field offering the reader's candidates, taking a path typed in too: they need not be all there is."""
    return selector.SelectSelector(selector.SelectSelectorConfig(
        options=list(candidates), custom_value=True, mode=selector.SelectSelectorMode.DROPDOWN))


def _settings_schema(kind: str, asked: Asked | None = None) -> vol.Schema:
    """The source's fields for its kind (the one the reader asks for offering its candidates), the rules and the
    window."""
    if kind == SOURCE_ENTITY:
        fields: dict[Any, Any] = {vol.Required(CONF_PRICE_ENTITY): selector.EntitySelector()}
    else:
        fields = _action_fields(kind)
    for key in _reading_fields(kind):
        fields[vol.Optional(key)] = _offering(asked[1]) if asked and asked[0] == key and asked[1] else _TEXT
    fields |= {
        vol.Required(CONF_TOTAL): _TEXT,
        vol.Optional(CONF_BLOCK): _TEXT,
        vol.Optional(CONF_MAX_OFF): _TEXT,
        vol.Optional(CONF_START_WITHIN): _TEXT,
        vol.Optional(CONF_CHEAP): _TEXT,
        vol.Required(CONF_STRATEGY, default="average"): selector.SelectSelector(selector.SelectSelectorConfig(
            options=list(STRATEGIES), translation_key=CONF_STRATEGY)),
        vol.Required(CONF_FROM, default="00:00:00"): selector.TimeSelector(),
        vol.Required(CONF_UNTIL, default="00:00:00"): selector.TimeSelector(),
    }
    return vol.Schema(fields)


def _action_fields(kind: str) -> dict[Any, Any]:
    """The fields an action source needs, as sources.ACTIONS says."""
    action, fields = ACTIONS[kind], {}
    if action.entry:
        entry_key = vol.Required if action.entry_required else vol.Optional
        fields[entry_key(CONF_SOURCE_ENTRY)] = selector.ConfigEntrySelector(
            selector.ConfigEntrySelectorConfig(integration=kind))
    if action.area:
        fields[vol.Optional(CONF_AREA, default=action.default_area or vol.UNDEFINED)] = selector.SelectSelector(
            selector.SelectSelectorConfig(options=list(action.areas), translation_key=CONF_AREA)) \
            if action.areas else _TEXT
    return fields


def _asked_field(exc: PriceDataError, kind: str, options: dict[str, Any]) -> str | None:
    """The form's field that takes the choice the reader asks for; None where the form has none for it."""
    if exc.choice not in _reading_fields(kind):
        return None
    # Finding no records at all, the reader asks for their time field: the source is the likelier fault, unless
    # the user named that field or the reader found records to name it from.
    if exc.choice == CONF_TIME_FIELD and not exc.candidates and not options.get(CONF_TIME_FIELD):
        return None
    return exc.choice


async def _async_check(hass: HomeAssistant,
                       options: dict[str, Any]) -> tuple[dict[str, str], dict[str, str], Asked | None]:
    """Errors by field, the message they show, and the choice the reader asks for: the source must give a series,
    each rule fit its periods."""
    source = PriceSource(hass, options)
    try:
        data = await source.async_data(dt_util.now().date())
        series = await hass.async_add_executor_job(series_of, data, dt_util.get_default_time_zone(), source.name,
                                                   source.reading(options))
    except SourceFailed as exc:
        return {exc.field: exc.key}, {"error": str(exc), **exc.values}, None
    except PriceDataError as exc:
        asked = _asked_field(exc, source.kind, options)
        if asked:
            return {asked: f"pick_{asked}"}, {"error": str(exc)}, (asked, exc.candidates)
        field = CONF_PRICE_ENTITY if source.kind == SOURCE_ENTITY else CONF_SOURCE_ENTRY
        return {field: "no_prices"}, {"error": str(exc)}, None
    try:
        await hass.async_add_executor_job(check_options, options, series)
    except ScheduleError as exc:
        # A translated error on the field at fault; the values it names go to its placeholders.
        return {FIELD_KEYS.get(exc.field, CONF_TOTAL): exc.reason}, placeholders(exc), None
    return {}, {"error": ""}, None


class TariffsieveConfigFlow(ConfigFlow, domain=DOMAIN):
    """Name and source kind first, then the settings."""

    VERSION = 1

    def __init__(self) -> None:
        self._name = ""
        self._kind = SOURCE_ENTITY

    @staticmethod
    @callback
    def async_get_options_flow(config_entry: ConfigEntry) -> OptionsFlow:
        return TariffsieveOptionsFlow()

    async def async_step_user(self, user_input: dict[str, Any] | None = None) -> ConfigFlowResult:
        if user_input is not None:
            self._name, self._kind = user_input[CONF_NAME], user_input[CONF_SOURCE]
            return await self.async_step_settings()
        return self.async_show_form(step_id="user", data_schema=vol.Schema({
            vol.Required(CONF_NAME): selector.TextSelector(),
            vol.Required(CONF_SOURCE, default=SOURCE_ENTITY): selector.SelectSelector(selector.SelectSelectorConfig(
                options=[SOURCE_ENTITY, *ACTION_SOURCES], translation_key=CONF_SOURCE)),
        }))

    async def async_step_settings(self, user_input: dict[str, Any] | None = None) -> ConfigFlowResult:
        errors, placeholders, asked = {}, {"error": ""}, None
        if user_input is not None and CONF_TOTAL in user_input:
            options = {CONF_SOURCE: self._kind, **user_input}
            errors, placeholders, asked = await _async_check(self.hass, options)
            if not errors:
                return self.async_create_entry(title=self._name, data={}, options=options)
        schema = self.add_suggested_values_to_schema(_settings_schema(self._kind, asked), user_input or {})
        return self.async_show_form(step_id="settings", data_schema=schema, errors=errors,
                                    description_placeholders=placeholders)


class TariffsieveOptionsFlow(OptionsFlow):
    """The same settings for the same kind of source."""

    async def async_step_init(self, user_input: dict[str, Any] | None = None) -> ConfigFlowResult:
        kind = self.config_entry.options[CONF_SOURCE]
        errors, placeholders, asked = {}, {"error": ""}, None
        if user_input is not None:
            options = {CONF_SOURCE: kind, **user_input}
            errors, placeholders, asked = await _async_check(self.hass, options)
            if not errors:
                return self.async_create_entry(data=options)
        schema = self.add_suggested_values_to_schema(_settings_schema(kind, asked),
                                                     user_input or self.config_entry.options)
        return self.async_show_form(step_id="init", data_schema=schema, errors=errors,
                                    description_placeholders=placeholders)
