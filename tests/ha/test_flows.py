"""The config and options flows: a source that gives prices, one that gives none, a rule that does not fit."""
import pytest
from homeassistant.data_entry_flow import FlowResultType

from custom_components.tariffsieve.const import DOMAIN

from .conftest import RULES, SAMPLE, setup_helper


@pytest.mark.parametrize(("attributes", "rules", "errors", "message"), [
    ({"prices": SAMPLE}, {}, {}, ""),
    ({"unit": "EUR/kWh", "prices_tomorrow": None}, {}, {"price_entity": "no_prices"}, "sensor.prices"),
    ({"prices": SAMPLE}, {"block": "45min"}, {"block": "bad_rule"}, "0.75 periods"),
    ({"prices": SAMPLE}, {"cheap": "cheap"}, {"cheap": "bad_rule"}, "not a decimal number"),
])
async def test_config_flow(hass, freezer, attributes, rules, errors, message):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", attributes)
    result = await hass.config_entries.flow.async_init(DOMAIN, context={"source": "user"})
    result = await hass.config_entries.flow.async_configure(result["flow_id"],
                                                            {"name": "Water heater", "source": "entity"})
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


async def test_options_flow_replans(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    entry = await setup_helper(hass)
    result = await hass.config_entries.options.async_init(entry.entry_id)
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **RULES, "block": "30min"})
    assert result["errors"] == {"block": "bad_rule"}
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **RULES, "total": "4h"})
    assert result["type"] is FlowResultType.CREATE_ENTRY
    await hass.async_block_till_done()
    runs = hass.states.get("binary_sensor.water_heater_planned").attributes["runs"]
    assert [(run["start"], run["end"]) for run in runs] == [("2026-04-10T11:00:00+02:00", "2026-04-10T15:00:00+02:00")]
