"""The plan action's window: today's clock times while they are ahead or under way (planned from now), the next
day's once they are over, and every price from now on without them."""
import pytest
from homeassistant.exceptions import ServiceValidationError

from .conftest import SAMPLE, setup_helper

CALL = {"prices": "sensor.prices", "total": "1h"}


@pytest.mark.parametrize(("now", "window", "runs"), [
    # Ahead: the cheapest hour of 10:00 to 12:00.
    ("2026-04-10T08:00:00+02:00", {"window_from": "10:00", "window_until": "12:00"}, ["2026-04-10T11:00:00+02:00"]),
    # Under way at 13:30: planned from the next whole period, so 13:00 (the cheapest) is past.
    ("2026-04-10T13:30:00+02:00", {"window_from": "12:00", "window_until": "16:00"}, ["2026-04-10T14:00:00+02:00"]),
    # No window: every price from now on.
    ("2026-04-10T14:00:00+02:00", {}, ["2026-04-10T14:00:00+02:00"]),
    # Over at 17:00: tomorrow's window, which the prices do not cover.
    ("2026-04-10T17:00:00+02:00", {"window_from": "12:00", "window_until": "16:00"}, "do not cover"),
])
async def test_action_window(hass, freezer, now, window, runs):
    freezer.move_to(now)
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    await setup_helper(hass)
    call = {**CALL, **window}
    if isinstance(runs, str):
        with pytest.raises(ServiceValidationError, match=runs):
            await hass.services.async_call("tariffsieve", "plan", call, blocking=True, return_response=True)
        return
    answer = await hass.services.async_call("tariffsieve", "plan", call, blocking=True, return_response=True)
    assert [run["start"] for run in answer["runs"]] == runs
