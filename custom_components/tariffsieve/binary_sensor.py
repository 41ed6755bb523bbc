"""The binary sensor that is on during the planned runs, with the plan as attributes a person can read: runs in
local clock time, the average rounded (the exact one beside it), the window's edges as times."""
from __future__ import annotations

from typing import Any

from homeassistant.components.binary_sensor import BinarySensorEntity
from homeassistant.core import HomeAssistant
from homeassistant.helpers.entity_platform import AddConfigEntryEntitiesCallback
from homeassistant.util import dt as dt_util

from .chart import charts_of
from .display import plan_basis, rounded, runs_text
from .entity import KeeperEntity
from .fallback import attributes as fallback_attributes
from .keeper import TariffsieveConfigEntry
from .planner import at

# Entities are written by their keeper, never polled: no limit on updates at once.
PARALLEL_UPDATES = 0


async def async_setup_entry(hass: HomeAssistant, entry: TariffsieveConfigEntry,
                            async_add_entities: AddConfigEntryEntitiesCallback) -> None:
    async_add_entities([PlannedBinarySensor(entry.runtime_data, entry, "planned")])


class PlannedBinarySensor(KeeperEntity, BinarySensorEntity):
    """On in a planned run; the runs, their average and the window, or why there is no plan."""

    # The chart's periods (96 a day at quarter hours, two windows kept) pass the recorder's 16 KB limit on
    # attributes: shown on the dashboard, never written to the history.
    _unrecorded_attributes = frozenset({"chart"})

    @property
    def is_on(self) -> bool:
        return self.keeper.is_on(dt_util.utcnow())

    @property
    def extra_state_attributes(self) -> dict[str, Any]:
        plan = self.keeper.current_plan()
        today = dt_util.now().date()
        attributes: dict[str, Any] = {"runs": runs_text(self.keeper.runs(), today),
                                      "chart": charts_of(self.keeper.plans)}
        if plan is not None:
            attributes |= {"average": rounded(plan["average"]), "average_exact": plan["average"],
                           "window_start": at(plan["window"][0]), "window_end": at(plan["window"][1])}
            # Prices paid or billed by the hour: the runs and the average are in them.
            attributes |= plan_basis(plan)
            if plan["planned_from"] != plan["window"][0]:  # set up while the window was running
                attributes["planned_from"] = at(plan["planned_from"])
        attributes |= fallback_attributes(self.keeper.plans, self.keeper.options)
        waiting = self.keeper.waiting
        if waiting is not None:
            # No plan at all, or none yet for a later window: say why (its words are in the log).
            attributes["reason"] = waiting[0]
        if (unread := self.keeper.run_time_problem) is not None:
            # The plan shown was made on the last run time read; a new one waits for a value to plan on.
            attributes |= {"reason": "run_time_unavailable", "run_time_problem": unread.key,
                           "run_time_entity": unread.values.get("entity")}
        if (problem := self.keeper.source_problem) is not None:
            # The runs shown stay the plan; these say why it cannot follow new prices.
            attributes |= {"reason": "source_unavailable", "source_problem": problem.key, "message": str(problem)}
        return attributes
