"""Fixtures of the helper's tests: custom integrations on, Amsterdam's clock, the sample day as a price entity."""
import json
from pathlib import Path

import pytest
from homeassistant.config_entries import ConfigEntryState
from pytest_homeassistant_custom_component.common import MockConfigEntry, MockModule, mock_integration

from custom_components.tariffsieve.const import DOMAIN

SAMPLE = json.loads((Path(__file__).parents[2] / "examples" / "sample_day.json").read_text())
# The sample day as a record holding two prices: the sample's own, and the day's prices the other way round
# (a plan tells which were read).
ZONNEPLAN = {"forecast": [
    {"datetime": record["start"], "price_tax_included": {"amount": other["price"]},
     "price_tax_excluded": {"amount": record["price"]}} for record, other in zip(SAMPLE, reversed(SAMPLE))]}
RULES = {"total": "3h", "block": "1h", "strategy": "average", "window_from": "00:00:00", "window_until": "00:00:00"}


@pytest.fixture(autouse=True)
async def setting(hass, enable_custom_integrations):
    await hass.config.async_set_time_zone("Europe/Amsterdam")


def hourly(day: str, prices: list, offset: str = "+02:00") -> list:
    return [{"start": f"{day}T{hour:02d}:00:00{offset}", "price": price} for hour, price in enumerate(prices)]


async def setup_helper(hass, **options) -> MockConfigEntry:
    entry = MockConfigEntry(domain=DOMAIN, title="Water heater",
                            options={"source": "entity", "price_entity": "sensor.prices", **RULES, **options})
    entry.add_to_hass(hass)
    assert await hass.config_entries.async_setup(entry.entry_id)
    await hass.async_block_till_done()
    return entry


def price_entry(hass, domain: str, state: ConfigEntryState = ConfigEntryState.LOADED) -> MockConfigEntry:
    """A config entry of a price integration, as its actions look it up; the integration a stand-in, so that
    Home Assistant unloads the entry without importing the real one's libraries."""
    mock_integration(hass, MockModule(domain))
    entry = MockConfigEntry(domain=domain, title=f"{domain} prices", state=state)
    entry.add_to_hass(hass)
    return entry
