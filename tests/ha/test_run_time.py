"""Run time from an entity: the form takes a duration or an entity in a unit of time, and says which is wrong; the
helper plans again when the entity's value changes, counting what already ran of a window under way, keeps its
plan while the value cannot be read, and runs no more once the entity asks for none."""
import pytest
from homeassistant.data_entry_flow import FlowResultType
from pytest_homeassistant_custom_component.common import async_fire_time_changed

from .conftest import SAMPLE, setup_helper
from .test_flows import FORM, settings_form

PLANNED = "binary_sensor.water_heater_planned"
CAR = "input_number.car_hours"
ENTITY_FIELD = {"field": "Run in total from an entity", "entity": CAR}


@pytest.mark.parametrize(("value", "unit", "given", "error", "shown"), [
    ("3", "kWh", {}, "run_time_unit", ENTITY_FIELD | {"unit": "kWh"}),
    ("3", "m", {}, "run_time_unit", ENTITY_FIELD | {"unit": "m"}),  # months to Home Assistant, minutes to many
    ("3", None, {}, "run_time_no_unit", ENTITY_FIELD),
    ("3", "h", {"total": {"hours": 3}}, "run_time_both", {"field": "Run in total from an entity"}),
    ("3", "h", {"total_entity": None}, "run_time_neither", {"field": "Run in total"}),
    ("3", "h", {"block": None, "block_entity": "sensor.nothing"}, "run_time_missing",
     {"field": "Shortest run from an entity", "entity": "sensor.nothing"}),
    # Minutes, rounded up to whole hours of the prices; and a value not there yet is no fault of the settings,
    # whose other rules are still checked (a fixed shortest run longer than one period too).
    ("150", "min", {}, None, {"total": "3h"}),
    ("unavailable", "h", {"block": {"hours": 2}}, None,
     {"reason": "run_time_unavailable", "run_time_problem": "run_time_value"}),
    ("unavailable", "h", {"block": {"minutes": 45}}, "not_whole_one", {"field": "Shortest run"}),
])
async def test_run_time_entity_in_the_form(hass, freezer, value, unit, given, error, shown):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    hass.states.async_set(CAR, value, {"unit_of_measurement": unit} if unit else {})
    result = await settings_form(hass)
    form = {key: value for key, value in FORM.items() if key != "total"}
    settings = {key: value for key, value in {"price_entity": "sensor.prices", **form, "total_entity": CAR,
                                              **given}.items() if value is not None}
    result = await hass.config_entries.flow.async_configure(result["flow_id"], settings)
    if error:
        assert (result["errors"], {key: result["description_placeholders"].get(key) for key in shown}) == (
            {"base": error}, shown)
        return
    assert result["type"] is FlowResultType.CREATE_ENTRY
    await hass.async_block_till_done()
    attributes = hass.states.get(PLANNED).attributes
    assert {key: attributes.get(key) for key in shown} == shown


async def at(hass, freezer, moment: str, value: str | None = None) -> dict:
    freezer.move_to(f"2026-04-10T{moment}+02:00")
    async_fire_time_changed(hass)
    if value is not None:
        hass.states.async_set(CAR, value, {"unit_of_measurement": "h"})
    await hass.async_block_till_done(wait_background_tasks=True)
    return dict(hass.states.get(PLANNED).attributes)


async def test_a_new_run_time_plans_again_counting_what_ran(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    hass.states.async_set(CAR, "3", {"unit_of_measurement": "h"})
    # Prices paid twice the spot price: a replan under way must not pay the kept prices twice.
    await setup_helper(hass, total=None, total_entity=CAR, multiplier=2.0)
    attributes = await at(hass, freezer, "00:00:00")
    assert (attributes["runs"], attributes["total"], attributes["total_entity"]) == (["12:00–15:00"], "3h", CAR)
    steps = [
        # 13:30, on since 12:00: 1.5 h is two hours of the prices, and the two that ran (12:00, 13:00) make it.
        ("13:30:00", "1.5", ["12:00–14:00"], "2h", "0.0806"),
        # 13:45: five hours; the two that ran count, the rest are the cheapest three from 14:00 on.
        ("13:45:00", "5", ["12:00–16:00", "23:00–00:00"], "5h", "0.11996"),
        # 14:10: no value to plan on; the plan made stays.
        ("14:10:00", "unavailable", ["12:00–16:00", "23:00–00:00"], "5h", "0.11996"),
        # 14:20: none asked for; the run under way ends with the hour that is on, and the night's is dropped.
        ("14:20:00", "0", ["12:00–15:00"], "0min", "0.0872"),
    ]
    for moment, value, runs, total, average in steps:
        attributes = await at(hass, freezer, moment, value)
        assert (attributes["runs"], attributes["total"], attributes["average_exact"]) == (runs, total, average), moment
        assert (attributes.get("reason") == "run_time_unavailable") == (value == "unavailable"), moment
    assert hass.states.get(PLANNED).state == "on"


async def test_options_flow_switches_the_total_to_an_entity(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    hass.states.async_set(CAR, "2", {"unit_of_measurement": "h"})
    entry = await setup_helper(hass)
    result = await hass.config_entries.options.async_init(entry.entry_id)
    form = {key: value for key, value in FORM.items() if key != "total"}
    result = await hass.config_entries.options.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **form, "total_entity": CAR})
    assert result["type"] is FlowResultType.CREATE_ENTRY and "total" not in entry.options
    await hass.async_block_till_done(wait_background_tasks=True)
    assert hass.states.get(PLANNED).attributes["runs"] == ["12:00–14:00"]
