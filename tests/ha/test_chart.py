"""A plan people can see: the plan action and get_plans answer each period's start, price and whether it is
planned; the binary sensor carries the same chart, kept out of the recorder."""
from datetime import datetime

import pytest
from homeassistant.exceptions import ServiceValidationError

from .conftest import SAMPLE, setup_helper

PLANNED = "binary_sensor.water_heater_planned"
# The sample day's cheapest three hours in one run of at least an hour: 12:00 to 15:00.
NOON = {datetime.fromisoformat(f"2026-04-10T{hour}:00:00+02:00") for hour in (12, 13, 14)}


def planned(chart: list) -> set:
    return {datetime.fromisoformat(period["start"]) for period in chart if period["planned"]}


@pytest.mark.parametrize("how", ["plan", "get_plans", "attribute"])
async def test_chart_marks_the_planned_periods_beside_every_price(hass, freezer, how):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    await setup_helper(hass)
    if how == "plan":
        answer = await hass.services.async_call("tariffsieve", "plan", {"prices": "sensor.prices", "total": "3h",
                                                "block": "1h"}, blocking=True, return_response=True)
        chart = answer["chart"]
    elif how == "get_plans":
        answer = await hass.services.async_call("tariffsieve", "get_plans", {"entity_id": PLANNED},
                                                blocking=True, return_response=True)
        (plan,) = answer[PLANNED]["plans"]
        assert plan["runs"][0]["start"] == "2026-04-10T12:00:00+02:00"
        chart = plan["chart"]
    else:
        chart = hass.states.get(PLANNED).attributes["chart"]
    # The action plans from now, in UTC; the helper from its window's start, in local time: the same moments.
    assert [datetime.fromisoformat(period["start"]) for period in chart] == [
        datetime.fromisoformat(record["start"]) for record in SAMPLE]
    assert [period["price"] for period in chart] == [float(record["price"]) for record in SAMPLE]
    assert planned(chart) == NOON


async def test_chart_is_not_recorded_and_get_plans_refuses_other_entities(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    await setup_helper(hass)
    # What the recorder leaves out of the state it writes.
    assert hass.states.get(PLANNED).state_info["unrecorded_attributes"] == {"chart"}
    with pytest.raises(ServiceValidationError, match="sensor.prices is not a tariffsieve helper's entity"):
        await hass.services.async_call("tariffsieve", "get_plans", {"entity_id": "sensor.prices"},
                                       blocking=True, return_response=True)
