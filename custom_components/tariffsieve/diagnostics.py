"""Diagnostics of a helper: its settings, the prices read and the plans kept."""
from __future__ import annotations

from typing import Any

from homeassistant.config_entries import ConfigEntry
from homeassistant.core import HomeAssistant


async def async_get_config_entry_diagnostics(hass: HomeAssistant, entry: ConfigEntry) -> dict[str, Any]:
    keeper = entry.runtime_data
    series = keeper.series
    prices = None if series is None else {
        "source": keeper.source.name, "price_field": series.price_field, "lists": list(series.lists),
        "resolution": str(series.resolution),
        "periods": [[start.isoformat(), price] for start, price in zip(series.starts, series.prices)]}
    return {"options": dict(entry.options), "prices": prices, "plans": keeper.plans, "waiting": keeper.waiting}
