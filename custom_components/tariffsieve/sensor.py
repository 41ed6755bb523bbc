"""The timestamp sensor with the start of the next planned run."""
from __future__ import annotations

from datetime import datetime

from homeassistant.components.sensor import SensorDeviceClass, SensorEntity
from homeassistant.core import HomeAssistant
from homeassistant.helpers.entity_platform import AddConfigEntryEntitiesCallback
from homeassistant.util import dt as dt_util

from .entity import KeeperEntity
from .keeper import TariffsieveConfigEntry

# Entities are written by their keeper, never polled: no limit on updates at once.
PARALLEL_UPDATES = 0


async def async_setup_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry,
                            async_add_entities: AddConfigEntryEntitiesCallback) -> None:
    async_add_entities([NextStartSensor(entry.runtime_data, entry, "next_start")])


class NextStartSensor(KeeperEntity, SensorEntity):
    """The start of the next run that has not started yet; unknown when none is planned."""

    _attr_device_class = SensorDeviceClass.TIMESTAMP

    @property
    def native_value(self) -> datetime | None:
        return self.keeper.next_start(dt_util.utcnow())
