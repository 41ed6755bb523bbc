"""Draw a plan: what `tariffsieve-plan` prints, and with matplotlib installed a
PNG of the series with the chosen periods highlighted.

Usage: python3 examples/plan_chart.py PRICES [tariffsieve-plan options] [--png PATH | --no-png]

For example, a water heater on the bundled sample day:

    python3 examples/plan_chart.py examples/sample_day.csv --run 6h --block 2h \\
        --max-off 8h --start-within 4h --cheap 0.0750

The input, the rules and the text chart are the command's own
(`tariffsieve-plan --help` lists them); this script only adds the PNG, written
to <input name>-plan.png unless --png names another path.
"""
import argparse
import sys
from pathlib import Path

from tariffsieve_plan.command import PROGRAM, main as command_main, run
from tariffsieve_plan.errors import BadInput

LONGEST_BAR_CHART = 48  # periods; beyond, bars touch and chosen blocks are shaded


def write_png(path, plan, title):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    chosen_colour, other_colour, threshold_colour, shade_colour = "#d9480f", "#adb5bd", "#1971c2", "#ffe8cc"
    series, first = plan.series, plan.window.first_index
    end = first + plan.window.periods
    values = [float(p) for p in series.prices[first:end]]
    labels = [f"{t:%a %H:%M}" for t in series.starts[first:end]]
    chosen = [i - first for i in plan.indices]
    picked = set(chosen)
    colours = [chosen_colour if i in picked else other_colour for i in range(len(values))]
    # Long series: bars side by side, so a block of chosen periods shows as one.
    long = len(values) > LONGEST_BAR_CHART
    fig, ax = plt.subplots(figsize=(16 if long else max(8, len(values) * 0.4), 4.5), dpi=100)
    ax.bar(range(len(values)), values, width=1.0 if long else 0.8, color=colours, edgecolor="none", zorder=2)
    if long:
        # Thin bars near zero hardly show: shade each block of chosen periods.
        for chosen_run in plan.runs:
            ax.axvspan(chosen_run.first - first - 0.5, chosen_run.last - first + 0.5, color=shade_colour, zorder=1)
    legend = [Patch(color=chosen_colour, label="chosen"), Patch(color=other_colour, label="not chosen")]
    if plan.threshold is not None:
        ax.axhline(float(plan.threshold), color=threshold_colour, linestyle="--", linewidth=1.2, zorder=3)
        legend.append(Line2D([], [], color=threshold_colour, linestyle="--",
                             label=f"cheap at or below {plan.request.low_price_threshold}"))
    ax.axhline(0, color="black", linewidth=0.8, zorder=3)
    step = max(1, len(labels) // 12)
    ax.set_xticks(range(0, len(labels), step), [labels[i] for i in range(0, len(labels), step)], rotation=45)
    ax.set_xlim(-0.6, len(values) - 0.4)
    ax.set_ylabel("price")
    ax.set_title(title, fontsize=10)
    ax.legend(handles=legend, loc="upper left", fontsize=8)
    ax.grid(axis="y", alpha=0.3, zorder=0)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main(argv=None):
    own = argparse.ArgumentParser(add_help=False)
    png = own.add_mutually_exclusive_group()
    png.add_argument("--png", type=Path)
    png.add_argument("--no-png", action="store_true")
    args, rest = own.parse_known_args(argv)
    if "-h" in rest or "--help" in rest:
        print(__doc__)
        return command_main(rest)
    try:
        plan, text = run(rest + ["--format", "text"])
    except BadInput as exc:
        sys.stderr.write(f"{PROGRAM}: error: {exc}\n")
        return 2
    sys.stdout.write(text)
    if args.no_png:
        return 0
    source = plan.series.name
    path = args.png or Path(f"{Path(source).stem if source != 'standard input' else 'prices'}-plan.png")
    try:
        rules = next(line for line in text.splitlines() if ": at least " in line)
        write_png(path, plan, rules)
    except ImportError:
        if args.png:
            sys.exit(f"{PROGRAM}: error: writing a PNG needs matplotlib")
        print("(matplotlib is not installed: no PNG written)")
        return 0
    print(f"plot written to {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
