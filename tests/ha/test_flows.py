"""The config and options flows: a source that gives prices, one that gives none, a rule that does not fit, and
prices the reader cannot read without a choice, offered in the field that takes it."""
import pytest
from homeassistant.data_entry_flow import FlowResultType

from custom_components.tariffsieve.const import DOMAIN

from .conftest import RULES, SAMPLE, ZONNEPLAN, hourly, setup_helper


async def settings_form(hass) -> dict:
    result = await hass.config_entries.flow.async_init(DOMAIN, context={"source": "user"})
    return await hass.config_entries.flow.async_configure(result["flow_id"],
                                                          {"name": "Water heater", "source": "entity"})


def offered(result, field: str) -> tuple:
    """The options a field of the form offers (None: plain text), and the value it suggests."""
    key = next(key for key in result["data_schema"].schema if key == field)
    config = getattr(result["data_schema"].schema[key], "config", {})
    return config.get("options"), (key.description or {}).get("suggested_value")


@pytest.mark.parametrize(("attributes", "rules", "errors", "message"), [
    ({"prices": SAMPLE}, {}, {}, ""),
    ({"unit": "EUR/kWh", "prices_tomorrow": None}, {}, {"price_entity": "no_prices"}, "sensor.prices"),
    ({"prices": SAMPLE}, {"block": "45min"}, {"block": "not_whole"}, "0.75 periods"),
    ({"prices": SAMPLE}, {"cheap": "cheap"}, {"cheap": "not_number"}, "not a decimal number"),
])
async def test_config_flow(hass, freezer, attributes, rules, errors, message):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", attributes)
    result = await settings_form(hass)
    result = await hass.config_entries.flow.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **RULES, **rules})
    if errors:
        assert (result["step_id"], result["errors"]) == ("settings", errors)
        assert message in result["description_placeholders"]["error"]
    else:
        assert result["type"] is FlowResultType.CREATE_ENTRY
        assert result["options"] == {"source": "entity", "price_entity": "sensor.prices", **RULES}
        await hass.async_block_till_done()
        assert hass.states.get("binary_sensor.water_heater_planned").state == "off"


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
    settings = {"price_entity": "sensor.prices", **RULES, **given}
    result = await hass.config_entries.flow.async_configure(result["flow_id"], settings)
    assert (result["errors"], offered(result, field), offered(result, "total")) == (
        {field: f"pick_{field}"}, (candidates, None), (None, "3h"))
    result = await hass.config_entries.flow.async_configure(result["flow_id"], {**settings, field: pick})
    assert result["options"] == {"source": "entity", **settings, field: pick}
    await hass.async_block_till_done()
    # The other list or price would plan the reversed day's cheapest hours.
    runs = hass.states.get("binary_sensor.water_heater_planned").attributes["runs"]
    assert [(run["start"], run["end"]) for run in runs] == [("2026-04-10T12:00:00+02:00", "2026-04-10T15:00:00+02:00")]
    # The options step shows the choice kept, and asks for it again once cleared.
    result = await hass.config_entries.options.async_init(result["result"].entry_id)
    assert offered(result, field) == (None, pick)
    result = await hass.config_entries.options.async_configure(result["flow_id"], settings)
    assert (result["errors"], offered(result, field)) == ({field: f"pick_{field}"}, (candidates, None))


async def test_options_flow_replans(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    entry = await setup_helper(hass)
    result = await hass.config_entries.options.async_init(entry.entry_id)
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **RULES, "block": "30min"})
    assert result["errors"] == {"block": "not_whole"}
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **RULES, "total": "4h"})
    assert result["type"] is FlowResultType.CREATE_ENTRY
    await hass.async_block_till_done()
    runs = hass.states.get("binary_sensor.water_heater_planned").attributes["runs"]
    assert [(run["start"], run["end"]) for run in runs] == [("2026-04-10T11:00:00+02:00", "2026-04-10T15:00:00+02:00")]
