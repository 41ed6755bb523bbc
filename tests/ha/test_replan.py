"""A window under way planned again when prices not yet started change: what
ran counts toward the total, the run that is on keeps its shortest run, the
time off since the last run counts; a change of a started period plans
nothing; two updates at once plan and store once."""
import asyncio
import time
from unittest.mock import patch

from pytest_homeassistant_custom_component.common import async_fire_time_changed

from custom_components.tariffsieve import keeper as keeper_module

from .conftest import SAMPLE, setup_helper

PLANNED = "binary_sensor.water_heater_planned"
RULES = {"total": "3h", "block": "2h", "max_off": "5h"}


def day(prices: dict) -> list:
    """The sample day with the prices of some hours replaced."""
    return [dict(record, price=prices.get(int(record["start"][11:13]), record["price"])) for record in SAMPLE]


async def at(hass, freezer, moment: str, prices: dict | None = None) -> list:
    freezer.move_to(f"2026-04-10T{moment}+02:00")
    async_fire_time_changed(hass)
    if prices is not None:
        hass.states.async_set("sensor.prices", "0.08", {"prices": day(prices)})
    await hass.async_block_till_done(wait_background_tasks=True)
    return [(run["start"][11:16], run["end"][11:16]) for run in hass.config_entries.async_entries("tariffsieve")[0]
            .runtime_data.runs()]


async def test_a_window_under_way_is_planned_again_counting_what_ran(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    await setup_helper(hass, **RULES)
    assert await at(hass, freezer, "00:00:00") == [("05:00", "07:00"), ("12:00", "14:00"), ("19:00", "21:00")]
    # 12:30, on since 12:00: 13:00 turns dear and the evening cheap. The run still lasts its two hours, and
    # the three that ran (two this morning) leave only what the five hours off demand after it.
    cheap_evening = {13: 0.5} | {hour: round(0.03 - 0.001 * hour, 4) for hour in range(16, 24)}
    assert await at(hass, freezer, "12:30:00", cheap_evening) == [
        ("05:00", "07:00"), ("12:00", "14:00"), ("19:00", "21:00")]
    assert hass.states.get(PLANNED).state == "on"
    await at(hass, freezer, "13:30:00")
    assert hass.states.get(PLANNED).state == "on"
    # 15:30, off since 14:00: the last two hours are cheapest, but after two hours off the next run must
    # begin within three more.
    dear_evening = cheap_evening | {hour: 0.2 + 0.001 * hour for hour in range(17, 22)} | {22: 0.0001, 23: 0.0001}
    assert await at(hass, freezer, "15:30:00", dear_evening) == [
        ("05:00", "07:00"), ("12:00", "14:00"), ("17:00", "19:00")]


async def test_a_started_period_plans_nothing_and_two_updates_plan_once(hass, freezer):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    entry = await setup_helper(hass, **RULES)
    keeper = entry.runtime_data
    planned = keeper_module.make_window_plan

    def slowly(*args):  # today's replan takes a while, so that updates that overlap surely do
        if args[1][0].day == 10:
            time.sleep(0.2)
        return planned(*args)

    with patch.object(keeper_module, "make_window_plan", side_effect=slowly) as planning, \
            patch.object(keeper.store, "async_save", wraps=keeper.store.async_save) as saving:
        def replans() -> int:  # tomorrow's window, without prices yet, is tried at each update
            return sum(call.args[1][0].day == 10 for call in planning.call_args_list)

        # 12:30: the price of 12:00, under way, is corrected.
        await at(hass, freezer, "12:30:00", {12: 0.3})
        assert (replans(), saving.call_count) == (0, 0)
        # A later price changes, and a wake-up's update comes at the same time as the state's.
        hass.states.async_set("sensor.prices", "0.08", {"prices": day({12: 0.3, 20: 0.001})})
        await asyncio.gather(keeper.async_update(), keeper.async_update())
        await hass.async_block_till_done(wait_background_tasks=True)
        assert (replans(), saving.call_count) == (1, 1)
    assert keeper.plans == (await keeper.store.async_load())["plans"]
