"""A plan as a person reads it: runs in local clock time, averages rounded. The exact values stay in the
stored plan, the action's answer and the diagnostics."""
from __future__ import annotations

from datetime import date
from decimal import Decimal
from typing import Any

from homeassistant.util import dt as dt_util

from .planner import at

# Enough digits to compare prices by eye in any unit (0.0436 EUR/kWh, 43.61 EUR/MWh); the exact average is kept
# beside it for automations.
SHOWN_DIGITS = 4


def rounded(text: str | None) -> float | None:
    """An exact decimal average as a number with SHOWN_DIGITS significant digits."""
    if text is None:
        return None
    value = Decimal(text)
    return float(f"{value:.{SHOWN_DIGITS}g}") if value else 0.0


def run_text(run: dict[str, Any], today: date | None = None) -> str:
    """12:00–15:00 for a run starting today, 2026-04-11 02:00–05:00 for one starting another day."""
    start, end = dt_util.as_local(at(run["start"])), dt_util.as_local(at(run["end"]))
    day = "" if start.date() == today else f"{start:%Y-%m-%d} "
    return f"{day}{start:%H:%M}–{end:%H:%M}"


def runs_text(runs: list[dict[str, Any]], today: date | None) -> list[str]:
    return [run_text(run, today) for run in runs]


def plan_basis(plan: dict[str, Any]) -> dict[str, Any]:
    """What a plan says about its prices (paid, by which formula; billed by the hour) and its run times taken
    from entities, as stored with it."""
    basis = {key: plan[key] for key in ("priced", "price_model", "billing", "total", "total_entity", "block",
                                        "block_entity") if key in plan}
    if "priced" in basis:  # the plan's "prices" are the source's by period; the entity's say which they are
        basis = {"prices": basis.pop("priced"), **basis}
    return basis
