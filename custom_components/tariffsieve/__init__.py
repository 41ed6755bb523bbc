"""tariffsieve helper: plans a load (a water heater, a heat pump, a car) on
the cheapest periods of a price sensor, under run-length and gap rules."""
from __future__ import annotations

from homeassistant.const import Platform
from homeassistant.core import HomeAssistant
from homeassistant.helpers import config_validation as cv
from homeassistant.helpers.storage import Store
from homeassistant.helpers.typing import ConfigType

from .action import async_register_action
from .const import DOMAIN
from .keeper import PlanKeeper, TariffsieveConfigEntry

PLATFORMS = [Platform.BINARY_SENSOR, Platform.SENSOR]
CONFIG_SCHEMA = cv.config_entry_only_config_schema(DOMAIN)


async def async_setup(hass: HomeAssistant, config: ConfigType) -> bool:
    async_register_action(hass)
    return True


async def async_setup_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> bool:
    keeper = PlanKeeper(hass, entry)
    await keeper.async_start()
    entry.runtime_data = keeper
    entry.async_on_unload(keeper.async_stop)
    await hass.config_entries.async_forward_entry_setups(entry, PLATFORMS)
    return True


async def async_unload_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> bool:
    return await hass.config_entries.async_unload_platforms(entry, PLATFORMS)


async def async_remove_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> None:
    """Forgets the stored plans with the helper."""
    await Store(hass, 1, f"{DOMAIN}.{entry.entry_id}").async_remove()
