"""Diagnostics of a helper: its settings, the prices read and every plan kept, with what names a home or a
place redacted (Tibber's home is often its address)."""
from __future__ import annotations

from typing import Any

from homeassistant.components.diagnostics import async_redact_data
from homeassistant.core import HomeAssistant

from .const import CONF_AREA
from .keeper import TariffsieveConfigEntry

TO_REDACT = {CONF_AREA}


async def async_get_config_entry_diagnostics(hass: HomeAssistant, entry: TariffsieveConfigEntry) -> dict[str, Any]:
    keeper = entry.runtime_data
    series = keeper.series
    prices = None if series is None else {
        "source": keeper.source.name, "price_field": series.price_field, "lists": list(series.lists),
        "resolution": str(series.resolution),
        "periods": [[start.isoformat(), price] for start, price in zip(series.starts, series.prices)]}
    return {"options": async_redact_data(dict(entry.options), TO_REDACT), "prices": prices, "plans": keeper.plans,
            "waiting": keeper.waiting,
            # Its key only: the message may name a home.
            "source_problem": None if keeper.source_problem is None else keeper.source_problem.key}
