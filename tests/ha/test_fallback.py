"""The fallback when prices are late: none unless opted in; at the deadline a window without its prices runs at
the last window's clock times or at fixed ones; prices arriving after a fallback run began replace it counting
what ran; the form refuses a deadline at the window's start and fixed times that break the rules."""
import pytest
from pytest_homeassistant_custom_component.common import async_fire_time_changed

from .conftest import SAMPLE, hourly, setup_helper
from .test_flows import FORM, settings_form

PLANNED = "binary_sensor.water_heater_planned"
PRICES = [record["price"] for record in SAMPLE]
TOMORROW = hourly("2026-04-11", PRICES)
# A forecast for tomorrow, the day the other way round: 09:00 to 12:00 cheapest.
FORECAST = hourly("2026-04-11", PRICES[::-1])
FIXED = {"fallback": "fixed_times", "fallback_deadline": "18:00:00", "fallback_times": "01:00-03:00, 20:00-21:00"}


async def move(hass, freezer, moment: str, prices: list | None = None) -> list:
    freezer.move_to(moment)
    async_fire_time_changed(hass)
    if prices is not None:
        hass.states.async_set("sensor.prices", "0.08", {"prices": prices})
    await hass.async_block_till_done(wait_background_tasks=True)
    return [(run["start"], run["end"]) for run in hass.config_entries.async_entries("tariffsieve")[0]
            .runtime_data.runs()]


@pytest.mark.parametrize(("options", "tomorrow"), [
    ({}, []),
    # The price entity's forecast, beside its prices: read only because it was picked.
    ({"fallback": "forecast", "fallback_deadline": "18:00:00", "fallback_forecast": "forecast"},
     [("2026-04-11T09:00:00+02:00", "2026-04-11T12:00:00+02:00")]),
    ({"fallback": "last_times", "fallback_deadline": "18:00:00"},
     [("2026-04-11T12:00:00+02:00", "2026-04-11T15:00:00+02:00")]),
    (FIXED, [("2026-04-11T01:00:00+02:00", "2026-04-11T03:00:00+02:00"),
             ("2026-04-11T20:00:00+02:00", "2026-04-11T21:00:00+02:00")]),
])
async def test_at_the_deadline_a_window_without_prices_falls_back(hass, freezer, options, tomorrow):
    freezer.move_to("2026-04-10T10:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE, "forecast": FORECAST})
    await setup_helper(hass, **options)
    today = [("2026-04-10T12:00:00+02:00", "2026-04-10T15:00:00+02:00")]
    assert await move(hass, freezer, "2026-04-10T17:59:59+02:00") == today
    # The deadline wakes the helper by itself: no price changes at 18:00.
    assert await move(hass, freezer, "2026-04-10T18:00:00+02:00") == today + tomorrow
    attributes = hass.states.get(PLANNED).attributes
    if not options:
        assert "fallback" not in attributes and attributes["reason"] == "waiting_for_prices"
    else:
        assert (attributes["fallback"], attributes["fallback_rule"], attributes["fallback_window_start"].isoformat()) \
            == (True, options["fallback"], "2026-04-11T00:00:00+02:00")
        assert attributes["runs"][1:] == [f"2026-04-11 {start[11:16]}–{end[11:16]}" for start, end in tomorrow]


async def test_prices_after_a_fallback_run_began_replace_it_counting_what_ran(hass, freezer):
    freezer.move_to("2026-04-10T19:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    entry = await setup_helper(hass, **FIXED | {"fallback_times": "01:00-04:00"})
    assert await move(hass, freezer, "2026-04-11T01:30:00+02:00") == [
        ("2026-04-11T01:00:00+02:00", "2026-04-11T04:00:00+02:00")]
    assert hass.states.get(PLANNED).state == "on"
    # 02:30: the prices come, 13:00 the cheapest hour. 01:00 and 02:00 ran; one hour is owed, at the cheapest.
    runs = await move(hass, freezer, "2026-04-11T02:30:00+02:00", SAMPLE + TOMORROW)
    assert runs == [("2026-04-11T01:00:00+02:00", "2026-04-11T03:00:00+02:00"),
                    ("2026-04-11T13:00:00+02:00", "2026-04-11T14:00:00+02:00")]
    assert hass.states.get(PLANNED).attributes["fallback"] is False
    assert "fallback" not in entry.runtime_data.plans["2026-04-11T00:00:00+02:00"]


@pytest.mark.parametrize(("fallback", "error", "shown"), [
    ({"fallback": "last_times"}, "fallback_deadline_missing", {"field": "Fallback deadline"}),
    ({"fallback": "last_times", "fallback_deadline": "00:00:00"}, "fallback_deadline_at_start", {}),
    (FIXED | {"fallback_times": "1-3"}, "fallback_times_unreadable", {"text": "1-3"}),
    (FIXED | {"fallback_times": "01:30-04:30"}, "fallback_times_not_whole", {"every": "1h"}),
    (FIXED | {"fallback_times": "01:00-03:00, 02:00-04:00"}, "fallback_times_overlap", {"text": "01:00-03:00"}),
    (FIXED | {"fallback_times": "01:00-02:00, 05:00-07:00", "block": {"hours": 2}}, "fallback_times_short_run",
     {"text": "01:00-02:00", "block": "2h"}),
    (FIXED | {"fallback_times": "01:00-03:00"}, "fallback_times_short_total", {"given": "2h", "total": "3h"}),
    (FIXED | {"fallback_times": "23:00-02:00"}, "fallback_times_outside", {"text": "23:00-02:00"}),
    (FIXED | {"fallback_times": "23:00-00:00, 01:00-03:00"}, None, {}),
    ({"fallback": "forecast", "fallback_deadline": "18:00:00"}, "fallback_forecast_missing", {}),
    ({"fallback": "forecast", "fallback_deadline": "18:00:00", "fallback_forecast": "predicted"},
     "fallback_forecast_unreadable", {"entity": "sensor.prices"}),
])
async def test_form_checks_the_fallback(hass, freezer, fallback, error, shown):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    result = await settings_form(hass)
    result = await hass.config_entries.flow.async_configure(
        result["flow_id"], {"price_entity": "sensor.prices", **FORM, **fallback})
    assert result.get("errors", {}).get("base") == error
    assert shown.items() <= (result.get("description_placeholders") or {}).items()


async def test_a_source_down_at_the_deadline_falls_back_too(hass, freezer):
    freezer.move_to("2026-04-10T10:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    await setup_helper(hass, **FIXED)
    hass.states.async_set("sensor.prices", "unavailable", {})
    runs = await move(hass, freezer, "2026-04-10T18:00:00+02:00")
    assert runs[1:] == [("2026-04-11T01:00:00+02:00", "2026-04-11T03:00:00+02:00"),
                        ("2026-04-11T20:00:00+02:00", "2026-04-11T21:00:00+02:00")]
    attributes = hass.states.get(PLANNED).attributes
    assert (attributes["fallback"], attributes["reason"]) == (True, "source_unavailable")
