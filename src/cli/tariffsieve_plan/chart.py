# The text chart of a plan: a bar a period for short series, a row of several
# periods (an hour of quarter hours, say) for long ones.
from decimal import Decimal

BAR_WIDTH = 50
LONGEST_BAR_CHART = 48  # periods; beyond, several periods share a row


def per_row_for(count, resolution_seconds):
    """1 up to 48 periods; beyond, an hour a row when periods divide an hour."""
    if count <= LONGEST_BAR_CHART or resolution_seconds >= 3600 or 3600 % resolution_seconds:
        return 1
    return int(3600 // resolution_seconds)


def bar_chart(labels, prices, values, threshold, chosen):
    """One row per period: a bar as long as the price, '#' where chosen, '-'
    elsewhere, and '|' where the threshold falls."""
    # The scale spans zero, every price and the threshold, wherever it lies.
    scale = [*values, Decimal(0), *([threshold] if threshold is not None else [])]
    low, high = min(scale), max(scale)
    span = (high - low) or Decimal(1)

    def column(value):
        return int((value - low) / span * BAR_WIDTH + Decimal("0.5"))

    mark = column(threshold) if threshold is not None else None

    def length(value):
        if mark is None:
            return max(column(value), 1)
        # The threshold takes a column of its own. Rounded to whole
        # characters, a bar could seem to cross it when it does not, or the
        # other way round: a price above it always reaches past it.
        if value > threshold:
            return max(column(value) + 1, mark + 2)
        return min(max(column(value), 1), mark)

    label_width = max(len(label) for label in labels)
    price_width = max(len(price) for price in prices)
    lines = []
    for i, (label, price, value) in enumerate(zip(labels, prices, values)):
        glyph = "#" if i in chosen else "-"
        bar = [glyph] * length(value) + [" "] * (BAR_WIDTH + 3 - length(value))
        if mark is not None:
            bar[mark] = "|"
        flag = "*" if i in chosen else " "
        lines.append(f"{flag} {label:>{label_width}}  {price:>{price_width}}  {''.join(bar).rstrip()}")
    return lines


def grid_chart(labels, prices, values, threshold, chosen, per_row):
    """per_row periods a row, each a cell with its price: '#' before a chosen
    one, '<' after one at or below the threshold. A row with a chosen period
    starts with '*'."""
    label_width = max(len(label) for label in labels)
    price_width = max(len(price) for price in prices)
    cell_width = price_width + 3

    def column_name(label):
        # "Sat 13:15" -> ":15"
        tail = label[-3:]
        return tail if tail[0] == ":" and tail[1:].isdigit() else ""

    heads = [column_name(label) for label in labels[:per_row]]
    if not all(heads) or len(set(heads)) < len(heads):
        heads = [f"+{i}" for i in range(per_row)]
    lines = [" " * (label_width + 3) + "".join(f"{head:>{cell_width - 1}} " for head in heads).rstrip()]
    for first in range(0, len(prices), per_row):
        cells = []
        for i in range(first, min(first + per_row, len(prices))):
            mark = "#" if i in chosen else " "
            cheap = "<" if threshold is not None and values[i] <= threshold else " "
            cells.append(f"{mark}{prices[i]:>{price_width}}{cheap} ")
        flag = "*" if chosen.intersection(range(first, first + per_row)) else " "
        lines.append(f"{flag} {labels[first]:>{label_width}} {''.join(cells).rstrip()}")
    return lines


def chart(labels, prices, values, threshold, threshold_text, chosen, per_row):
    """The legend line, a blank line and the chart."""
    chosen = set(chosen)
    if per_row == 1:
        legend = "'#' chosen" + (f", '|' the threshold {threshold_text}" if threshold is not None else "")
        return [legend, ""] + bar_chart(labels, prices, values, threshold, chosen)
    legend = "'#' chosen" + (f", '<' at or below the threshold {threshold_text}" if threshold is not None else "")
    return ([f"{legend}; {per_row} periods a row", ""]
            + grid_chart(labels, prices, values, threshold, chosen, per_row))
