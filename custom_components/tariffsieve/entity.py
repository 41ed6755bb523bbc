"""What the helper's entities share: the keeper they show, a device per entry, unique ids."""
from __future__ import annotations

from homeassistant.helpers.device_registry import DeviceEntryType, DeviceInfo
from homeassistant.helpers.entity import Entity
from homeassistant.util import dt as dt_util

from .const import DOMAIN
from .keeper import PlanKeeper, TariffsieveConfigEntry


class KeeperEntity(Entity):
    """An entity written again whenever its keeper's plans change or a boundary passes."""

    _attr_has_entity_name = True
    _attr_should_poll = False

    def __init__(self, keeper: PlanKeeper, entry: TariffsieveConfigEntry, key: str) -> None:
        self.keeper = keeper
        self._attr_translation_key = key
        self._attr_unique_id = f"{entry.entry_id}_{key}"
        self._attr_device_info = DeviceInfo(identifiers={(DOMAIN, entry.entry_id)}, name=entry.title,
                                            entry_type=DeviceEntryType.SERVICE)

    @property
    def available(self) -> bool:
        """Available while the source answers (even with prices the settings cannot read: the entity then says
        why), or while a plan made before it failed still has a run to come, which still switches the load. A
        source that does not answer, with no run ahead: what the entity would say is not known."""
        problem = self.keeper.source_problem
        return problem is None or problem.answered or self.keeper.runs_ahead(dt_util.utcnow())

    async def async_added_to_hass(self) -> None:
        self.keeper.listeners.append(self.async_write_ha_state)
        self.async_on_remove(lambda: self.keeper.listeners.remove(self.async_write_ha_state))
