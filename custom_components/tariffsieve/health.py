"""Whether a helper's price source answers, logged once when it starts
failing and once when it answers again. Kept across the helper's setups: a
source down at start makes Home Assistant retry the setup again and again, and
each retry must not log the same failure anew."""
from __future__ import annotations

import logging
from typing import Any

from homeassistant.core import HomeAssistant

from .const import CONF_AREA, CONF_PRICE_ENTITY, CONF_SOURCE, CONF_SOURCE_ENTRY, DOMAIN
from .sources import SourceFailed

_LOGGER = logging.getLogger(__package__)


class SourceHealth:
    """The failure of a helper's source, None while it answers."""

    def __init__(self, title: str) -> None:
        self.title = title
        self.problem: SourceFailed | None = None

    def failed(self, problem: SourceFailed) -> None:
        if self.problem is None:
            _LOGGER.warning("%s: %s. Plans already made stay; new ones wait until the price source answers again",
                            self.title, problem)
        self.problem = problem

    def answered(self) -> None:
        if self.problem is not None:
            _LOGGER.info("%s: the price source answers again (it failed as %s)", self.title, self.problem)
        self.problem = None


def health_of(hass: HomeAssistant, entry_id: str, title: str, options: dict[str, Any]) -> SourceHealth:
    """The health of an entry's source, the same object while the entry keeps that source."""
    source = tuple(options.get(key) for key in (CONF_SOURCE, CONF_PRICE_ENTITY, CONF_SOURCE_ENTRY, CONF_AREA))
    kept: dict[str, tuple[tuple[Any, ...], SourceHealth]] = hass.data.setdefault(DOMAIN, {})
    if entry_id not in kept or kept[entry_id][0] != source:
        kept[entry_id] = source, SourceHealth(title)
    return kept[entry_id][1]


def forget_health(hass: HomeAssistant, entry_id: str) -> None:
    hass.data.get(DOMAIN, {}).pop(entry_id, None)
