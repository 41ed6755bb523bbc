"""Plans on the real Home Assistant: flips at the boundaries, tomorrow's prices
arriving, a plan kept through midnight and a restart, a clock-change day,
core's price actions (stand-ins answering in their documented shapes) and the plan action."""
from datetime import datetime, timedelta

import pytest
from homeassistant.core import SupportsResponse
from homeassistant.exceptions import ServiceValidationError
from pytest_homeassistant_custom_component.common import async_fire_time_changed

from custom_components.tariffsieve.diagnostics import async_get_config_entry_diagnostics

from .conftest import SAMPLE, ZONNEPLAN, hourly, price_entry, setup_helper

PLANNED, NEXT = "binary_sensor.water_heater_planned", "sensor.water_heater_next_start"
NOON_RUN = [{"start": "2026-04-10T12:00:00+02:00", "end": "2026-04-10T15:00:00+02:00", "average": "0.0436"}]
PRICES = [record["price"] for record in SAMPLE]


async def move(hass, freezer, moment: str) -> None:
    freezer.move_to(moment)
    async_fire_time_changed(hass)
    await hass.async_block_till_done()


async def test_flips_at_the_planned_boundaries(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    entry = await setup_helper(hass, area="12 Garden Lane")  # a home's name is often its address
    state = hass.states.get(PLANNED)
    assert entry.runtime_data.runs() == NOON_RUN
    # Shown as a person reads it: local clock times, the average rounded, the window's edges as times.
    assert state.attributes["runs"] == ["12:00–15:00"]
    assert (state.attributes["average"], state.attributes["average_exact"]) == (0.0436, "0.0436")
    assert (state.attributes["window_start"].isoformat(), state.attributes["window_end"].isoformat()) == (
        "2026-04-10T00:00:00+02:00", "2026-04-11T00:00:00+02:00")
    assert hass.states.get(NEXT).state == "2026-04-10T10:00:00+00:00"
    for moment, expected in [("11:59:59", "off"), ("12:00:00", "on"), ("14:59:59", "on"), ("15:00:00", "off")]:
        await move(hass, freezer, f"2026-04-10T{moment}+02:00")
        assert hass.states.get(PLANNED).state == expected, moment
    assert hass.states.get(NEXT).state == "unknown"
    diagnostics = await async_get_config_entry_diagnostics(hass, entry)
    assert len(diagnostics["prices"]["periods"]) == 24 and diagnostics["plans"]
    assert (diagnostics["options"]["area"], diagnostics["source_problem"]) == ("**REDACTED**", None)
    assert await hass.config_entries.async_unload(entry.entry_id)
    assert hass.states.get(PLANNED).state == "unavailable"


async def test_night_window_waits_for_tomorrow_then_keeps_its_plan(hass, freezer):
    freezer.move_to("2026-04-10T10:00:00+02:00")
    today, tomorrow = hourly("2026-04-10", PRICES), hourly("2026-04-11", PRICES)
    hass.states.async_set("sensor.prices", "0.08", {"raw_today": today, "raw_tomorrow": []})
    entry = await setup_helper(hass, window_from="18:00:00", window_until="07:00:00")
    assert hass.states.get(PLANNED).attributes["reason"] == "waiting_for_prices"
    await move(hass, freezer, "2026-04-10T13:10:00+02:00")
    hass.states.async_set("sensor.prices", "0.09", {"raw_today": today, "raw_tomorrow": tomorrow})
    await hass.async_block_till_done()
    night = [{"start": "2026-04-11T02:00:00+02:00", "end": "2026-04-11T05:00:00+02:00", "average": "0.0730333333333333333333333333"}]
    assert entry.runtime_data.runs() == night
    # Midnight: the source drops yesterday's prices; then Home Assistant restarts.
    await move(hass, freezer, "2026-04-11T00:05:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"raw_today": tomorrow, "raw_tomorrow": []})
    await hass.config_entries.async_reload(entry.entry_id)
    await hass.async_block_till_done()
    assert entry.runtime_data.runs() == night
    await move(hass, freezer, "2026-04-11T02:00:00+02:00")
    assert hass.states.get(PLANNED).state == "on"
    # A price not yet started changes: the rest of the window is planned again.
    cheaper = [dict(record, price=0.01) if record["start"].startswith("2026-04-11T06") else record
               for record in tomorrow]
    hass.states.async_set("sensor.prices", "0.07", {"raw_today": cheaper, "raw_tomorrow": []})
    await hass.async_block_till_done()
    assert [run["start"] for run in entry.runtime_data.runs()] == [
        "2026-04-11T02:00:00+02:00", "2026-04-11T06:00:00+02:00"]


async def test_clock_change_day(hass, freezer):
    freezer.move_to("2026-10-25T00:00:00+02:00")
    start = datetime.fromisoformat("2026-10-24T22:00:00+00:00")
    # As some integrations hand them over in-process: datetime objects, not text.
    prices = [{"start": start + timedelta(hours=i), "price": 0.01 if i in (2, 3, 4) else 0.2 + i / 100}
              for i in range(25)]
    hass.states.async_set("sensor.prices", "0.2", {"prices": prices})
    entry = await setup_helper(hass)
    state = hass.states.get(PLANNED)
    assert state.attributes["window_end"].isoformat() == "2026-10-26T00:00:00+01:00"
    assert [(run["start"], run["end"]) for run in entry.runtime_data.runs()] == [
        ("2026-10-25T02:00:00+02:00", "2026-10-25T04:00:00+01:00")]
    assert state.attributes["runs"] == ["02:00–04:00"]  # three hours: 02:00 comes twice
    await move(hass, freezer, "2026-10-25T02:30:00+01:00")  # the second 02:30 of the day
    assert hass.states.get(PLANNED).state == "on"


def _nordpool(day, records):
    return {"SE3": [{"start": r["start"], "end": r["end"], "price": r["price"] * 1000} for r in records]}


def _tibber(day, records):
    return {"prices": {"Home": [{"start_time": r["local"].replace("+02:00", ".000+02:00"), "price": r["price"],
                                 "level": "NORMAL"} for r in records]}}


def _energyzero(day, records):
    if not records:
        raise ServiceValidationError("no prices for that day yet")
    return {"prices": [{"timestamp": r["start"].replace("T", " "), "price": r["price"]} for r in records]}


@pytest.mark.parametrize(("domain", "service", "answer"), [
    ("nordpool", "get_prices_for_date", _nordpool),
    ("tibber", "get_prices", _tibber),
    ("energyzero", "get_energy_prices", _energyzero),
])
async def test_price_actions(hass, freezer, domain, service, answer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    start = datetime.fromisoformat("2026-04-09T22:00:00+00:00")
    records = [{"start": (start + timedelta(hours=i)).isoformat(), "end": (start + timedelta(hours=i + 1)).isoformat(),
                "local": SAMPLE[i]["start"], "price": price} for i, price in enumerate(PRICES)]
    asked = []

    async def stand_in(call):
        day = call.data.get("date") or call.data["start"][:10]
        asked.append(day)
        return answer(day, records if day == "2026-04-10" else [])

    hass.services.async_register(domain, service, stand_in, supports_response=SupportsResponse.ONLY)
    entry = await setup_helper(hass, source=domain, price_entity=None,
                               source_entry=price_entry(hass, domain).entry_id)
    runs = entry.runtime_data.runs()
    assert [(run["start"], run["end"]) for run in runs] == [(NOON_RUN[0]["start"], NOON_RUN[0]["end"])]
    assert asked == ["2026-04-10", "2026-04-11"]
    await move(hass, freezer, "2026-04-10T00:25:00+02:00")
    assert asked == ["2026-04-10", "2026-04-11", "2026-04-11"]  # only tomorrow is asked again


@pytest.mark.parametrize(("data", "error"), [
    ({"total": "45min"}, "whole number of periods"),
    ({"prices": "sensor.none"}, "not an entity"),
    ({"prices": [{"start": "2026-04-10T00:00:00+02:00", "price": "x"}]}, "price"),
    ({"window_from": "16:00", "window_until": "20:00", "total": "5h"}, "no valid"),
    ({"prices": ZONNEPLAN["forecast"]}, "pick one \\(set price_field\\)"),
])
async def test_plan_action(hass, freezer, data, error):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    await setup_helper(hass)
    call = {"prices": "sensor.prices", "total": "3h", "block": "1h"}
    answer = await hass.services.async_call("tariffsieve", "plan", call, blocking=True, return_response=True)
    assert (answer["runs"], answer["average"], len(answer["periods"])) == (NOON_RUN, "0.0436", 3)
    for listed in ({"prices": SAMPLE}, {"prices": ZONNEPLAN["forecast"], "price_field": "price_tax_excluded.amount"}):
        assert await hass.services.async_call("tariffsieve", "plan", {**call, **listed}, blocking=True,
                                              return_response=True) == answer
    with pytest.raises(ServiceValidationError, match=error):
        await hass.services.async_call("tariffsieve", "plan", {**call, **data}, blocking=True, return_response=True)
