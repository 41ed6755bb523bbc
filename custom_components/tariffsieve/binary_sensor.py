"""The binary sensor that is on during the planned periods, with the plan as attributes."""
from __future__ import annotations

from typing import Any

from homeassistant.components.binary_sensor import BinarySensorEntity
from homeassistant.config_entries import ConfigEntry
from homeassistant.core import HomeAssistant
from homeassistant.helpers.entity_platform import AddConfigEntryEntitiesCallback
from homeassistant.util import dt as dt_util

from .entity import KeeperEntity


async def async_setup_entry(hass: HomeAssistant, entry: ConfigEntry,
                            async_add_entities: AddConfigEntryEntitiesCallback) -> None:
    async_add_entities([PlannedBinarySensor(entry.runtime_data, entry, "planned")])


class PlannedBinarySensor(KeeperEntity, BinarySensorEntity):
    """On in a planned run; the runs, their average and the window, or why there is no plan."""

    @property
    def is_on(self) -> bool:
        return self.keeper.is_on(dt_util.utcnow())

    @property
    def extra_state_attributes(self) -> dict[str, Any]:
        plan = self.keeper.current_plan()
        attributes: dict[str, Any] = {"runs": self.keeper.runs()}
        if plan is not None:
            attributes |= {"average": plan["average"], "window": plan["window"]}
            if plan["planned_from"] != plan["window"][0]:  # set up while the window was running
                attributes["planned_from"] = plan["planned_from"]
        waiting = self.keeper.waiting
        if waiting is not None and (plan is None or len(self.keeper.plans) < 2):
            # No plan at all, or none yet for the next window: say why.
            attributes |= {"reason": waiting[0], "message": waiting[1]}
        if (problem := self.keeper.source_problem) is not None:
            # The runs shown stay the plan; these say why it cannot follow new prices.
            attributes |= {"reason": "source_unavailable", "source_problem": problem.key, "message": str(problem)}
        return attributes
