"""A plan as a chart draws it: each period's start, price and whether it is planned, in time order. Prices are
numbers here (a chart card plots numbers); the exact decimals stay in the plan, the diagnostics and `average_exact`.
Whether a period is planned is read from the runs, so a fallback plan (runs at clock times, prices perhaps only in
part known) is drawn the same way as a plan on prices."""
from __future__ import annotations

from typing import Any

from .planner import at


def chart_of(plan: dict[str, Any]) -> list[dict[str, Any]]:
    """The periods of the plan whose prices are known, each {start, price, planned}: the prices the plan was made
    on (paid, or by the hour, where the options say so), else the source's."""
    runs = [(at(run["start"]), at(run["end"])) for run in plan["runs"]]
    prices = plan.get("planned_on") or plan["prices"]
    return [{"start": moment, "price": float(price),
             "planned": any(start <= at(moment) < end for start, end in runs)}
            for moment, price in sorted(prices.items(), key=lambda item: at(item[0]))]


def charts_of(plans: dict[str, dict[str, Any]]) -> list[dict[str, Any]]:
    """The periods of every kept plan, window after window."""
    return [period for key in sorted(plans, key=at) for period in chart_of(plans[key])]


def shown(plan: dict[str, Any]) -> dict[str, Any]:
    """A plan as the actions answer it: its window, runs, chosen periods, average and chart."""
    answer = {key: plan[key] for key in ("window", "runs", "periods", "average")}
    if plan.get("fallback"):
        answer["fallback"] = plan["fallback"]
    return answer | {"chart": chart_of(plan)}
