"""The config and options flows: a source that gives prices, one that gives none or is unavailable, rules that do
not fit (each shown once, its field named, the nearest durations that fit offered), prices the reader cannot read
without a choice, and the live preview of the runs."""
import pytest
from homeassistant.data_entry_flow import FlowResultType

from custom_components.tariffsieve.const import DOMAIN

from .conftest import SAMPLE, ZONNEPLAN, hourly, setup_helper

# The rules as the form's widgets give them: durations from the picker, the cheap price as a number.
FORM = {"total": {"hours": 3}, "block": {"hours": 1}, "strategy": "average", "window_from": "00:00:00",
        "window_until": "00:00:00"}
PLANNED = "binary_sensor.water_heater_planned"


async def settings_form(hass) -> dict:
    result = await hass.config_entries.flow.async_init(DOMAIN, context={"source": "user"})
    return await hass.config_entries.flow.async_configure(result["flow_id"],
                                                          {"name": "Water heater", "source": "entity"})


def offered(result, field: str) -> tuple:
    """The options a field of the form offers (None: plain text), and the value it suggests."""
    key = next(key for key in result["data_schema"].schema if key == field)
    config = getattr(result["data_schema"].schema[key], "config", {})
    return config.get("options"), (key.description or {}).get("suggested_value")


def stored_runs(entry) -> list:
    return [(run["start"], run["end"]) for run in entry.runtime_data.runs()]


@pytest.mark.parametrize(("state", "attributes", "rules", "error", "shown"), [
    ("0.08", {"prices": SAMPLE, "unit_of_measurement": "EUR/kWh"}, {}, None, {}),
    ("unavailable", {}, {}, "entity_unavailable", {"entity": "sensor.prices", "field": "Price entity"}),
    (None, {}, {}, "entity_missing", {"entity": "sensor.prices"}),
    ("0.08", {"unit": "EUR/kWh", "prices_tomorrow": None}, {}, "no_prices", {"field": "Price entity"}),
    ("0.08", {"prices": SAMPLE}, {"block": {"minutes": 45}}, "not_whole_one",
     {"field": "Shortest run", "text": "45min", "every": "1h", "upper": "1h"}),
    ("0.08", {"prices": SAMPLE}, {"total": {"hours": 2, "minutes": 15}}, "not_whole",
     {"field": "Run in total", "lower": "2h", "upper": "3h"}),
    ("0.08", {"prices": SAMPLE}, {"block": {"hours": 4}}, "longer_than_total", {"field": "Shortest run"}),
])
async def test_config_flow(hass, freezer, state, attributes, rules, error, shown):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    if state:
        hass.states.async_set("sensor.prices", state, attributes)
    result = await settings_form(hass)
    assert result["preview"] == DOMAIN and offered(result, "total") == (None, None)
    result = await hass.config_entries.flow.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **FORM, **rules})
    if error:
        assert (result["step_id"], result["errors"]) == ("settings", {"base": error})
        assert shown.items() <= result["description_placeholders"].items()
        return
    assert result["type"] is FlowResultType.CREATE_ENTRY and result["title"] == "Water heater"
    assert result["options"] == {"name": "Water heater", "source": "entity", "price_entity": "sensor.prices", **FORM}
    await hass.async_block_till_done()
    assert hass.states.get(PLANNED).attributes["runs"] == ["12:00–15:00"]
    # The options step shows the stored durations in the picker and the cheap price in the source's unit.
    options = await hass.config_entries.options.async_init(result["result"].entry_id)
    assert offered(options, "total") == (None, {"hours": 3})
    key = next(key for key in options["data_schema"].schema if key == "cheap")
    assert options["data_schema"].schema[key].config["unit_of_measurement"] == "EUR/kWh"


@pytest.mark.parametrize(("attributes", "given", "field", "candidates", "pick"), [
    # A list named as a forecast is read only when named; then its two prices are the choice.
    (ZONNEPLAN, {"records": "forecast"}, "price_field", ["price_tax_included.amount", "price_tax_excluded.amount"],
     "price_tax_excluded.amount"),
    (ZONNEPLAN, {"price_field": "price_tax_excluded.amount"}, "records", ["forecast"], "forecast"),
    # Two areas' lists side by side, the reversed day first.
    ({"north": hourly("2026-04-10", [r["price"] for r in reversed(SAMPLE)]), "south": SAMPLE}, {}, "records",
     ["north", "south"], "south"),
    ({"prices": [{"moment": r["start"], "price": r["price"]} for r in SAMPLE]}, {"records": "prices"}, "time_field",
     ["moment", "price"], "moment"),
])
async def test_settings_offer_the_readers_choice(hass, freezer, attributes, given, field, candidates, pick):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", attributes)
    result = await settings_form(hass)
    assert offered(result, field) == (None, None)  # plain text until the reader asks
    settings = {"price_entity": "sensor.prices", **FORM, **given}
    result = await hass.config_entries.flow.async_configure(result["flow_id"], settings)
    assert (result["errors"], offered(result, field), offered(result, "total")) == (
        {"base": f"pick_{field}"}, (candidates, None), (None, {"hours": 3}))
    result = await hass.config_entries.flow.async_configure(result["flow_id"], {**settings, field: pick})
    assert result["options"] == {"name": "Water heater", "source": "entity", **settings, field: pick}
    await hass.async_block_till_done()
    # The other list or price would plan the reversed day's cheapest hours.
    entry = result["result"]
    assert stored_runs(entry) == [("2026-04-10T12:00:00+02:00", "2026-04-10T15:00:00+02:00")]
    # The options step shows the choice kept, and asks for it again once cleared.
    result = await hass.config_entries.options.async_init(entry.entry_id)
    assert offered(result, field) == (None, pick)
    result = await hass.config_entries.options.async_configure(result["flow_id"], settings)
    assert (result["errors"], offered(result, field)) == ({"base": f"pick_{field}"}, (candidates, None))


async def test_options_flow_replans(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    entry = await setup_helper(hass)  # stored before the picker: durations as text
    result = await hass.config_entries.options.async_init(entry.entry_id)
    assert (offered(result, "total"), offered(result, "block")) == ((None, {"hours": 3, "minutes": 0, "seconds": 0}),
                                                                      (None, {"hours": 1, "minutes": 0, "seconds": 0}))
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **FORM, "block": {"minutes": 30}})
    assert result["errors"] == {"base": "not_whole_one"}
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **FORM, "total": {"hours": 4}, "cheap": 0.075,
                            "strategy": "cheap_periods"})
    assert result["type"] is FlowResultType.CREATE_ENTRY
    await hass.async_block_till_done(wait_background_tasks=True)
    # The night's periods at or below 0.075 join the cheapest four hours; the average alone would not take them.
    assert stored_runs(entry) == [("2026-04-10T02:00:00+02:00", "2026-04-10T05:00:00+02:00"),
                                  ("2026-04-10T11:00:00+02:00", "2026-04-10T15:00:00+02:00")]


async def preview(hass, client, flow_id: str, flow_type: str, user_input: dict) -> dict:
    await client.send_json_auto_id({"type": f"{DOMAIN}/start_preview", "flow_id": flow_id, "flow_type": flow_type,
                                    "user_input": user_input})
    assert (await client.receive_json())["success"]
    return (await client.receive_json())["event"]


async def test_preview_shows_the_runs_or_the_problem(hass, freezer, hass_ws_client):
    client = await hass_ws_client(hass)  # authenticated before the clock is set back to the sample day
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    flow = await settings_form(hass)
    base = {"price_entity": "sensor.prices", **FORM}
    event = await preview(hass, client, flow["flow_id"], "config_flow", base)
    assert (event["state"], event["attributes"]["average"]) == ("12:00–15:00", 0.0436)
    event = await preview(hass, client, flow["flow_id"], "config_flow", {**base, "max_off": {"hours": 5}})
    assert event["state"].split(", ") != ["12:00–15:00"]  # the longest time off splits the runs
    event = await preview(hass, client, flow["flow_id"], "config_flow", {**base, "block": {"minutes": 45}})
    assert event["error"] == "No runs to show: check Shortest run"  # the whole message shows once, on submit
    event = await preview(hass, client, flow["flow_id"], "config_flow", {"price_entity": "sensor.prices"})
    assert "run in total" in event["error"]
    # A night window needs tomorrow's prices; the sample holds only today's.
    event = await preview(hass, client, flow["flow_id"], "config_flow",
                          {**base, "window_from": "22:00:00", "window_until": "06:00:00"})
    assert event["error"].startswith("The prices do not cover a window yet")
    entry = await setup_helper(hass)
    options = await hass.config_entries.options.async_init(entry.entry_id)
    event = await preview(hass, client, options["flow_id"], "options_flow", {**base, "total": {"hours": 4}})
    assert event["state"] == "11:00–15:00"


async def test_action_source_form(hass, freezer):
    """An action's settings ask for its integration's entry, not an entity; a source that answers nothing is said
    to hold no prices."""
    freezer.move_to("2026-04-10T00:00:00+02:00")
    result = await hass.config_entries.flow.async_init(DOMAIN, context={"source": "user"})
    result = await hass.config_entries.flow.async_configure(result["flow_id"], {"name": "Car", "source": "nordpool"})
    assert {"source_entry", "area", "price_field"} <= {str(key) for key in result["data_schema"].schema}
    assert "price_entity" not in {str(key) for key in result["data_schema"].schema}
