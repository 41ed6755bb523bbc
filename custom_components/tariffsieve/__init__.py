"""tariffsieve helper: plans a load (a water heater, a heat pump, a car) on
the cheapest periods of a price sensor, under run-length and gap rules."""
from __future__ import annotations

from homeassistant.const import Platform
from homeassistant.core import HomeAssistant
from homeassistant.exceptions import ConfigEntryError, ConfigEntryNotReady
from homeassistant.helpers import config_validation as cv
from homeassistant.helpers.storage import Store
from homeassistant.helpers.typing import ConfigType
from homeassistant.util import dt as dt_util

from .action import async_register_action
from .const import DOMAIN
from .health import forget_health
from .keeper import PlanKeeper, TariffsieveConfigEntry
from .plans_action import async_register_plans_action

PLATFORMS = [Platform.BINARY_SENSOR, Platform.SENSOR]
CONFIG_SCHEMA = cv.config_entry_only_config_schema(DOMAIN)


async def async_setup(hass: HomeAssistant, config: ConfigType) -> bool:
    async_register_action(hass)
    async_register_plans_action(hass)
    return True


async def async_setup_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> bool:
    keeper = PlanKeeper(hass, entry)
    await keeper.async_start()
    problem = keeper.source_problem
    # A source that does not answer at all: Home Assistant retries the setup (a config entry deleted cannot come
    # back: that fails for good). Unless a stored plan has a run still to come: that plan is set up and switches the
    # load meanwhile, its entity saying why it cannot change. A source that answers, wrongly, is shown the same way.
    if problem is not None and not problem.answered and not keeper.runs_ahead(dt_util.utcnow()):
        keeper.async_stop()
        failure = ConfigEntryError if problem.key == "entry_missing" else ConfigEntryNotReady
        raise failure(translation_domain=DOMAIN, translation_key=problem.key,
                      translation_placeholders=problem.values)
    entry.runtime_data = keeper
    entry.async_on_unload(keeper.async_stop)
    await hass.config_entries.async_forward_entry_setups(entry, PLATFORMS)
    return True


async def async_unload_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> bool:
    return await hass.config_entries.async_unload_platforms(entry, PLATFORMS)


async def async_remove_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> None:
    """Forgets the stored plans with the helper."""
    forget_health(hass, entry.entry_id)
    await Store(hass, 1, f"{DOMAIN}.{entry.entry_id}").async_remove()
