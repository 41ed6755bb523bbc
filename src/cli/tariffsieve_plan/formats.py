# The answer of tariffsieve-plan as text (runs, then a chart), JSON or CSV:
# each only formats the values the plan holds.
import csv
import io
import json
import re
from datetime import time, timedelta
from decimal import ROUND_HALF_EVEN, Context, Decimal, localcontext

from tariffsieve_plan.billing import billing_note
from tariffsieve_plan.chart import chart, per_row_for
from tariffsieve_schedule import decimal_text, describe, iso_text

# Wide enough to show any average of the engine's exactly.
EXACT = Context(prec=80)


def _short_paths(paths):
    """a.b.today, a.b.tomorrow -> a.b.today, tomorrow: later paths without the parent they share."""
    shown = list(paths[:1])
    for path in paths[1:]:
        parent = paths[0].rpartition(".")[0]
        shown.append(path[len(parent) + 1:] if parent and path.startswith(parent + ".") else path)
    return shown


def source_text(series, zone_note) -> "str | None":
    """Where the prices were read and the zone shown, when that is not plain."""
    parts = []
    if series.kind != "csv":
        lists = " + ".join(_short_paths(series.lists))
        parts.append(f"prices from {series.price_field}" + (f" of {lists}" if lists else "")
                     + f", starts from {series.time_field}")
    if zone_note:
        parts.append(zone_note)
    return "; ".join(parts) or None


def _billed_json(plan) -> dict:
    """The price model and billing the answer's prices come from, where they are not the prices read."""
    billed = {}
    if plan.price_model is not None:
        billed["price_model"] = plan.price_model.as_dict()
    if plan.billing is not None:
        billed["billing"] = plan.billing
    if billed:
        billed["prices_shown"] = billing_note(plan)
    return billed


def answer_json(plan, zone_note) -> str:
    series = plan.series
    runs = [{"start": iso_text(series.starts[run.first]), "end": iso_text(series.end(run.last)),
             "periods": run.periods, "average": decimal_text(run.average)} for run in plan.runs]
    answer = {
        "runs": runs,
        "indices": list(plan.indices),
        "average": decimal_text(plan.average),
        "request": plan.request.as_dict(),
        "window": {"start": iso_text(plan.window.start), "end": iso_text(plan.window.end),
                   "first_index": plan.window.first_index, "periods": plan.window.periods},
        "source": {"periods": len(series), "resolution_seconds": int(series.resolution.total_seconds()),
                   "time_field": series.time_field, "price_field": series.price_field,
                   "lists": list(series.lists), "times": zone_note or "as written"},
        **_billed_json(plan),
    }
    # Lists of indices on one line each, not one number a line.
    text = json.dumps(answer, indent=2)
    return re.sub(r"\[(?:\s*\d+,?)+\s*\]", lambda m: json.dumps(json.loads(m.group(0))), text) + "\n"


def answer_csv(plan) -> str:
    """The input in time order with a chosen column: every column of a CSV
    input (and its header when it had one), else the start and the price."""
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    series = plan.series
    chosen = set(plan.indices)
    if plan.price_model is not None or plan.billing is not None:
        # The prices as billed, which no input row holds.
        writer.writerow([series.time_field, "price_paid" if plan.price_model else "hourly_price", "chosen"])
        for i, (start, price) in enumerate(zip(series.starts, series.prices)):
            writer.writerow([iso_text(start), price, int(i in chosen)])
    elif series.kind == "csv":
        if series.header is not None:
            writer.writerow([*series.header, "chosen"])
        for i, row in enumerate(series.sources):
            writer.writerow([*row, int(i in chosen)])
    else:
        writer.writerow([series.time_field, series.price_field, "chosen"])
        for i, (start, price) in enumerate(zip(series.starts, series.prices)):
            writer.writerow([iso_text(start), price, int(i in chosen)])
    return out.getvalue()


def clock_range(start, end) -> str:
    """'Sat 11:15-13:00', 'Sat 23:00-24:00' or 'Sat 22:00-Sun 01:30'."""
    if end.date() == start.date():
        return f"{start:%a %H:%M}-{end:%H:%M}"
    if end.date() - start.date() == timedelta(days=1) and end.time() == time(0):
        return f"{start:%a %H:%M}-24:00"
    return f"{start:%a %H:%M}-{end:%a %H:%M}"


def places_of(prices) -> int:
    """The most decimals any of the prices has, up to the 28 the module keeps."""
    most = 0
    for text in prices:
        exponent = Decimal(text).as_tuple().exponent
        most = max(most, -exponent if isinstance(exponent, int) else 0)
    return min(most, 28)


def answer_text(plan, threshold_text, zone_note, per_row, with_chart) -> str:
    series = plan.series
    request = plan.request.as_dict()
    first, end = plan.window.first_index, plan.window.first_index + plan.window.periods
    resolution = Decimal(int(series.resolution.total_seconds()))
    window_prices = series.prices[first:end]
    count = len(window_prices)
    quantum = Decimal(1).scaleb(-places_of(window_prices))

    def shown(value):
        with localcontext(EXACT):
            return f"{value.quantize(quantum, rounding=ROUND_HALF_EVEN):f}"

    def span(periods):
        return f"{describe(periods * resolution)} ({periods})"

    lines = [f"{series.name}: {len(series)} periods of {describe(resolution)}, "
             f"{series.starts[0]:%a %Y-%m-%d %H:%M} to {series.end(len(series) - 1):%a %Y-%m-%d %H:%M}"]
    if count < len(series):
        lines[0] += (f"; planned {clock_range(plan.window.start, plan.window.end)} "
                     f"({count} periods)")
    source = source_text(series, zone_note)
    if source:
        lines.append(source)
    billed = billing_note(plan)
    if billed:
        lines.append(billed + "; the runs, averages and chart show these prices")
    strategy = "lowest average price" if request["aggressive"] else "most cheap periods"
    off = request["max_gap_between_periods"]
    rules = [f"at least {span(request['min_selections'])}",
             f"blocks of {span(request['min_consecutive_periods'])} or more",
             f"off at most {span(off)}" if off < count else "off for any length",
             f"start within {span(request['max_gap_from_start'])}" if request["max_gap_from_start"] < count
             else "start any time"]
    cheap = f"cheap at or below {threshold_text}" if threshold_text is not None else "no price counts as cheap"
    lines.append(f"{strategy}: {', '.join(rules)}; {cheap}")
    lines.append("")
    rows = [(clock_range(series.starts[run.first], series.end(run.last)), describe(run.periods * resolution),
             shown(run.average)) for run in plan.runs]
    if rows:
        clock_width, length_width = (max(len(row[column]) for row in rows) for column in (0, 1))
        for clock, length, average in rows:
            lines.append(f"  {clock:<{clock_width}}  {length:>{length_width}}  average {average}")
    chosen = len(plan.indices)
    summary = f"{chosen} period{'s' * (chosen != 1)} ({describe(chosen * resolution)}), total {shown(plan.total)}"
    if plan.average is not None:
        summary += f", average {shown(plan.average)}"
    if plan.threshold is not None:
        summary += f", {plan.cheap} cheap"
    lines.append(summary)
    if with_chart:
        times = series.starts[first:end]
        one_day = times[0].date() == times[-1].date()
        labels = [f"{t:%H:%M}" if one_day else f"{t:%a %H:%M}" for t in times]
        values = [Decimal(p) for p in window_prices]
        lines.append("")
        lines.extend(chart(labels, window_prices, values, plan.threshold, threshold_text,
                           [i - first for i in plan.indices], per_row or per_row_for(count, resolution)))
    return "\n".join(lines) + "\n"
