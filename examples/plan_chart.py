"""Draw the plan for a series of prices: a chart in the terminal and, when
matplotlib is installed, a PNG with the chosen periods highlighted.

Usage: python3 examples/plan_chart.py [prices.csv] [rules...]   (--help lists them)

The CSV has a header line and rows of "label,price", the price as decimal
text; the bundled examples/sample_day.csv is read when no file is named.
Up to 48 prices the terminal shows a bar per period; longer series, such as
a day or two of quarter hours, show several periods a row (--per-row).
"""
import argparse
import csv
import sys
from decimal import Decimal
from pathlib import Path

import tariffsieve

SAMPLE = Path(__file__).with_name("sample_day.csv")
BAR_WIDTH = 50
LONGEST_BAR_CHART = 48  # periods; beyond, several periods share a row


def to_decimal(text):
    """Python's Decimal for a price text the module accepted (it also takes
    underscores where Python does not, as in "1_" or "1__0")."""
    return Decimal(text.replace("_", ""))


def read_prices(path):
    """Labels and price texts from a CSV with a header line."""
    with open(path, newline="") as f:
        rows = [row for row in csv.reader(f) if row and any(cell.strip() for cell in row)]
    if len(rows) < 2:
        raise ValueError(f"{path}: no price rows after the header line")
    labels, prices = [], []
    for number, row in enumerate(rows[1:], start=2):
        if len(row) < 2:
            raise ValueError(f"{path}, line {number}: expected 'label,price'")
        labels.append(row[0].strip())
        prices.append(row[1].strip())
    return labels, prices


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Choose the cheapest periods of a day of prices and draw the plan.",
        epilog="Defaults plan a water heater on hourly prices. The PNG needs matplotlib.",
    )
    parser.add_argument("csv", nargs="?", type=Path, default=SAMPLE,
                        help="CSV of 'label,price' rows after a header line (default: the bundled sample day)")
    parser.add_argument("-t", "--low-price-threshold", default="0.0750", metavar="PRICE",
                        help="a period priced at or below this is cheap (default: %(default)s)")
    parser.add_argument("-n", "--min-selections", type=int, default=6, metavar="N",
                        help="select at least N periods (default: %(default)s)")
    parser.add_argument("-c", "--min-consecutive-periods", type=int, default=2, metavar="N",
                        help="every block of selected periods is at least N long (default: %(default)s)")
    parser.add_argument("-g", "--max-gap-between-periods", type=int, default=8, metavar="N",
                        help="at most N idle periods in a row between blocks and at the end (default: %(default)s)")
    parser.add_argument("-s", "--max-gap-from-start", type=int, default=4, metavar="N",
                        help="at most N idle periods before the first selected one (default: %(default)s)")
    parser.add_argument("--per-row", type=int, metavar="N",
                        help="periods per row of the terminal chart (default: 1 up to 48 periods, "
                             "4 up to 200, 12 beyond); 1 draws a bar per period")
    parser.add_argument("--conservative", action="store_true",
                        help="take the most cheap periods instead of the lowest average price")
    png = parser.add_mutually_exclusive_group()
    png.add_argument("--png", type=Path, metavar="PATH",
                     help="where to write the plot (default: <csv name>-plan.png in the current directory)")
    png.add_argument("--no-png", action="store_true", help="draw in the terminal only")
    args = parser.parse_args(argv)
    if args.per_row is not None and args.per_row < 1:
        parser.error("--per-row must be at least 1")
    return args


def blocks(indices):
    """Split ascending indices into runs of consecutive ones."""
    runs = []
    for i in indices:
        if runs and runs[-1][-1] == i - 1:
            runs[-1].append(i)
        else:
            runs.append([i])
    return runs


def terminal_chart(labels, prices, threshold, chosen):
    """One row per period: a bar as long as the price, '#' where chosen, '-'
    elsewhere, and '|' where the threshold falls."""
    values = [to_decimal(p) for p in prices]
    low = min(min(values), Decimal(0))
    high = max(max(values), threshold, Decimal(0))
    span = (high - low) or Decimal(1)

    def column(value):
        return int((value - low) / span * BAR_WIDTH + Decimal("0.5"))

    mark = column(threshold)

    def length(value):
        # The threshold takes a column of its own. Rounded to whole
        # characters, a bar could seem to cross it when it does not, or the
        # other way round: a price above it always reaches past it.
        if value > threshold:
            return max(column(value) + 1, mark + 2)
        return min(max(column(value), 1), mark)

    label_width = max(len(label) for label in labels)
    price_width = max(len(price) for price in prices)
    picked = set(chosen)
    lines = []
    for i, (label, price, value) in enumerate(zip(labels, prices, values)):
        glyph = "#" if i in picked else "-"
        bar = [glyph] * length(value) + [" "] * (BAR_WIDTH + 3 - length(value))
        bar[mark] = "|"
        flag = "*" if i in picked else " "
        lines.append(f"{flag} {label:>{label_width}}  {price:>{price_width}}  {''.join(bar).rstrip()}")
    return lines


def per_row_for(count):
    """An hour a row for quarter hours (up to two days, clock changes
    included), for five-minute slots beyond."""
    return 1 if count <= LONGEST_BAR_CHART else 4 if count <= 200 else 12


def grid_chart(labels, prices, threshold, chosen, per_row):
    """per_row periods a row, each a cell with its price: '#' before a chosen
    one, '<' after one at or below the threshold. A row with a chosen period
    starts with '*'."""
    picked = set(chosen)
    label_width = max(len(label) for label in labels)
    price_width = max(len(price) for price in prices)
    cell_width = price_width + 3

    def column_name(label):
        # "2026-04-11T13:15" -> ":15"; other labels have no minute to show.
        tail = label[-3:]
        return tail if tail[0] == ":" and tail[1:].isdigit() else ""

    heads = [column_name(label) for label in labels[:per_row]]
    if not all(heads) or len(set(heads)) < len(heads):
        heads = [f"+{i}" for i in range(per_row)]
    lines = [" " * (label_width + 3) + "".join(f"{head:>{cell_width - 1}} " for head in heads).rstrip()]
    for first in range(0, len(prices), per_row):
        cells = []
        for i in range(first, min(first + per_row, len(prices))):
            mark = "#" if i in picked else " "
            cheap = "<" if to_decimal(prices[i]) <= threshold else " "
            cells.append(f"{mark}{prices[i]:>{price_width}}{cheap} ")
        flag = "*" if picked.intersection(range(first, first + per_row)) else " "
        lines.append(f"{flag} {labels[first]:>{label_width}} {''.join(cells).rstrip()}")
    return lines


def summary(labels, prices, chosen):
    spans = []
    for run in blocks(chosen):
        spans.append(labels[run[0]] if len(run) == 1 else f"{labels[run[0]]}-{labels[run[-1]]}")
    total = sum(to_decimal(prices[i]) for i in chosen)
    return f"{len(chosen)} periods ({', '.join(spans)}), total {total}, average {total / len(chosen):.4f}"


def write_png(path, labels, prices, threshold, chosen, title):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    chosen_colour, other_colour, threshold_colour, shade_colour = "#d9480f", "#adb5bd", "#1971c2", "#ffe8cc"
    values = [float(to_decimal(p)) for p in prices]
    picked = set(chosen)
    colours = [chosen_colour if i in picked else other_colour for i in range(len(values))]
    # Long series: bars side by side, so a block of chosen periods shows as one.
    long = len(values) > LONGEST_BAR_CHART
    fig, ax = plt.subplots(figsize=(16 if long else max(8, len(values) * 0.4), 4.5), dpi=100)
    ax.bar(range(len(values)), values, width=1.0 if long else 0.8, color=colours, edgecolor="none", zorder=2)
    if long:
        # Thin bars near zero hardly show: shade each block of chosen periods.
        for run in blocks(chosen):
            ax.axvspan(run[0] - 0.5, run[-1] + 0.5, color=shade_colour, zorder=1)
    ax.axhline(float(threshold), color=threshold_colour, linestyle="--", linewidth=1.2, zorder=3)
    ax.axhline(0, color="black", linewidth=0.8, zorder=3)
    step = max(1, len(labels) // 12)
    ax.set_xticks(range(0, len(labels), step), [labels[i] for i in range(0, len(labels), step)], rotation=45)
    ax.set_xlim(-0.6, len(values) - 0.4)
    ax.set_ylabel("price")
    ax.set_title(title, fontsize=10)
    ax.legend(handles=[Patch(color=chosen_colour, label="chosen"),
                       Patch(color=other_colour, label="not chosen"),
                       Line2D([], [], color=threshold_colour, linestyle="--", label=f"cheap at or below {threshold}")],
              loc="upper left", fontsize=8)
    ax.grid(axis="y", alpha=0.3, zorder=0)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        labels, prices = read_prices(args.csv)
        # get_cheapest_periods takes up to 28 prices; plan, with the same rules
        # and answers, any length.
        choose = tariffsieve.get_cheapest_periods if len(prices) <= 28 else tariffsieve.plan
        chosen = choose(
            prices, args.low_price_threshold, args.min_selections, args.min_consecutive_periods,
            args.max_gap_between_periods, args.max_gap_from_start, aggressive=not args.conservative)
    except (OSError, ValueError, OverflowError) as exc:
        sys.exit(f"{Path(sys.argv[0]).name}: error: {exc}")
    threshold = to_decimal(args.low_price_threshold)

    strategy = "most cheap periods" if args.conservative else "lowest average price"
    rules = (f"at least {args.min_selections}, blocks of {args.min_consecutive_periods} or more, "
             f"gaps of at most {args.max_gap_between_periods}, start within {args.max_gap_from_start}")
    title = f"{args.csv.name}: {strategy}; {rules}"
    print(title)
    per_row = args.per_row or per_row_for(len(prices))
    if per_row == 1:
        print(f"'#' chosen, '|' the threshold {args.low_price_threshold}")
        print()
        print("\n".join(terminal_chart(labels, prices, threshold, chosen)))
    else:
        print(f"'#' chosen, '<' at or below the threshold {args.low_price_threshold}; {per_row} periods a row")
        print()
        print("\n".join(grid_chart(labels, prices, threshold, chosen, per_row)))
    print()
    print(summary(labels, prices, chosen))

    if args.no_png:
        return
    path = args.png or Path(f"{args.csv.stem}-plan.png")
    try:
        write_png(path, labels, prices, threshold, chosen, title)
    except ImportError:
        if args.png:
            sys.exit(f"{Path(sys.argv[0]).name}: error: writing a PNG needs matplotlib")
        print("(matplotlib is not installed: no PNG written)")
        return
    print(f"plot written to {path}")


if __name__ == "__main__":
    main()
