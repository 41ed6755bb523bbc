"""The settings step's live preview: while the rules are typed, the runs the helper would plan on the prices the
source has now, for the first window they cover (Home Assistant's generic flow preview shows an entity row)."""
from __future__ import annotations

from datetime import timedelta
from typing import Any

from homeassistant.components.websocket_api import async_register_command
from homeassistant.components.websocket_api.connection import ActiveConnection
from homeassistant.components.websocket_api.decorators import async_response, websocket_command
from homeassistant.components.websocket_api.messages import event_message
from homeassistant.core import HomeAssistant, callback
from homeassistant.util import dt as dt_util

from .checks import Checked, Problem, async_check
from .const import CONF_SOURCE, CONF_TOTAL, CONF_TOTAL_ENTITY, DOMAIN, SOURCE_ENTITY
from .display import rounded, runs_text, plan_basis
from .labels import async_error_text, async_label
from .planner import FIELD_KEYS, NoPlan, make_window_plan, window_on
from .validation import vol


@callback
def async_setup_preview_api(hass: HomeAssistant) -> None:
    async_register_command(hass, ws_start_preview)


def _kind(hass: HomeAssistant, msg: dict[str, Any]) -> str:
    """The kind of source the flow set up: the config flow remembers it, an entry stores it."""
    if msg["flow_type"] == "config_flow":
        status = hass.config_entries.flow.async_get(msg["flow_id"])
        return str(status["context"].get("price_source", SOURCE_ENTITY))
    status = hass.config_entries.options.async_get(msg["flow_id"])
    entry = hass.config_entries.async_get_entry(status["handler"])
    return str(entry.options.get(CONF_SOURCE, SOURCE_ENTITY)) if entry else SOURCE_ENTITY


def _first_plan(checked: Checked, options: dict[str, Any]) -> dict[str, Any] | NoPlan:
    """The plan of the first window, from today's on, that the prices cover; else why there is none."""
    now, zone = dt_util.utcnow(), dt_util.get_default_time_zone()
    today = dt_util.as_local(now).date()
    why: NoPlan | None = None
    for shift in (0, 1):
        window = window_on(today + timedelta(days=shift), options, zone)
        if window[1] <= now:
            continue
        try:
            return make_window_plan(checked.series, window, checked.planned or options, now)
        except NoPlan as exc:
            why = why or exc
    return why or NoPlan("waiting_for_prices", "", None)  # type: ignore[arg-type]


async def _async_preview(hass: HomeAssistant, options: dict[str, Any]) -> dict[str, Any]:
    """The preview's message: a state and attributes, or an error in the user's language."""
    if not options.get(CONF_TOTAL) and not options.get(CONF_TOTAL_ENTITY):
        return {"error": await async_error_text(hass, "preview_total", {})}
    checked = await async_check(hass, options, FIELD_KEYS)
    if isinstance(checked, Problem):
        # Which field, not the whole message: submitting shows that above the form, and it is shown once.
        if checked.field:
            return {"error": await async_error_text(hass, "preview_refused", {"field": await async_label(hass,
                                                                                                      checked.field)})}
        return {"error": await async_error_text(hass, "preview_refused_source", {})}
    plan = await hass.async_add_executor_job(_first_plan, checked, options)
    if isinstance(plan, NoPlan):
        return {"error": await async_error_text(hass, f"preview_{plan.reason}", {})}
    today = dt_util.as_local(dt_util.utcnow()).date()
    runs = runs_text(plan["runs"], today)
    return {"state": ", ".join(runs), "attributes": {
        "friendly_name": await async_label(hass, "preview"), "icon": "mdi:calendar-clock", "runs": runs,
        "average": rounded(plan["average"]), **plan_basis(plan)}}


@websocket_command({
    vol.Required("type"): f"{DOMAIN}/start_preview",
    vol.Required("flow_id"): str,
    vol.Required("flow_type"): vol.Any("config_flow", "options_flow"),
    vol.Required("user_input"): dict,
})
@async_response
async def ws_start_preview(hass: HomeAssistant, connection: ActiveConnection,
                           msg: dict[str, Any]) -> None:
    """Answers once with the runs for the settings typed so far: the prices are those the source has now."""
    options = {CONF_SOURCE: _kind(hass, msg), **msg["user_input"]}
    connection.subscriptions[msg["id"]] = lambda: None
    connection.send_result(msg["id"])
    connection.send_message(event_message(msg["id"], await _async_preview(hass, options)))
