# The tariffsieve-plan command: read a price series, turn rules given in
# durations and clock times into periods, plan with tariffsieve.plan, answer
# as text, JSON or CSV. Bad input ends with one line on standard error and status 2.
import argparse
import csv
import io
import json
import re
import sys
from datetime import time, timedelta
from decimal import ROUND_HALF_EVEN, Context, Decimal, InvalidOperation, localcontext

import tariffsieve

from tariffsieve_plan.chart import chart, per_row_for
from tariffsieve_plan.durations import describe, to_periods
from tariffsieve_plan.errors import BadInput
from tariffsieve_plan.series import iso_text, read_series, seconds_of, window

PROGRAM = "tariffsieve-plan"
# Wide enough that sums of up to 2016 prices below 2**96 with 28 decimals stay exact.
_EXACT = Context(prec=80)
_LARGEST = 2 ** 96


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line, not argparse's usage block: callers log standard error.
        self.exit(2, f"{PROGRAM}: error: {message} (--help lists the options)\n")


def parse_arguments(argv):
    parser = _Parser(
        prog=PROGRAM,
        description="Choose the cheapest periods of a price series under timing rules given in durations, "
                    "and print them as clock times.",
        epilog="Durations: 45min, 1h30m, 2.5h, 1d; each must be a whole number of the series' periods. "
               "Exit status: 0 with a plan, 2 on bad input (one line on standard error).")
    read = parser.add_argument_group("input")
    read.add_argument("input", help="CSV or JSON file of prices, or - for standard input")
    read.add_argument("--input-format", choices=("auto", "csv", "json"), default="auto",
                      help="default: JSON for a .json file or text starting with [ or {, else CSV")
    read.add_argument("--time-column", metavar="NAME",
                      help="the timestamp column (header name or 1-based number; JSON key, default \"start\"); "
                           "default: the first column")
    read.add_argument("--price-column", metavar="NAME",
                      help="the price column (header name or 1-based number; JSON key, default \"price\"); "
                           "default: the second column")
    read.add_argument("--tz", metavar="ZONE",
                      help="IANA time zone of timestamps without a UTC offset (such as Europe/Berlin); "
                           "with offsets, the zone to show times in")
    read.add_argument("--resolution", metavar="DURATION",
                      help="the length of a period (default: the step between timestamps)")
    rules = parser.add_argument_group("rules")
    rules.add_argument("--run", required=True, metavar="DURATION", help="run at least this long in total")
    rules.add_argument("--block", metavar="DURATION", help="the shortest run (default: one period)")
    rules.add_argument("--max-off", metavar="DURATION",
                       help="the longest time off between runs and after the last one (default: no limit)")
    rules.add_argument("--start-within", metavar="DURATION",
                       help="the longest time off before the first run (default: --max-off)")
    rules.add_argument("--cheap", metavar="PRICE",
                       help="a period priced at or below this is cheap (default: none is)")
    rules.add_argument("--strategy", choices=("average", "cheap-periods"), default="average",
                       help="average: the lowest average price (default); cheap-periods: the most cheap periods")
    rules.add_argument("--periods", action="store_true",
                       help="bare numbers in the rules count periods instead of needing a unit")
    rules.add_argument("--from", dest="start", metavar="TIME",
                       help="plan from this clock time (18:00: its next occurrence from the start of the series), "
                            "ISO 8601 instant, or now (from the next period to start)")
    rules.add_argument("--until", metavar="TIME",
                       help="plan periods that end by this clock time (its next occurrence after --from) "
                            "or ISO 8601 instant")
    out = parser.add_argument_group("output")
    out.add_argument("--format", choices=("text", "json", "csv"), default="text",
                     help="text: runs and a chart (default); json: runs, indices, average, request; "
                          "csv: the series with a chosen column")
    out.add_argument("--per-row", type=int, metavar="N",
                     help="periods a row of the text chart (default: 1 up to 48 periods, else an hour)")
    out.add_argument("--no-chart", action="store_true", help="text without the chart")
    args = parser.parse_args(argv)
    if args.per_row is not None and args.per_row < 1:
        parser.error("--per-row must be at least 1")
    return args


def price_value(text):
    """The exact value of a price text the module accepted (it allows
    underscores where Python's Decimal does not)."""
    return _EXACT.create_decimal(text.replace("_", ""))


def plan_price(text):
    """What plan gets for a price: its text, or for exponent notation (as JSON
    numbers may have) the exact Decimal, since decimal text has no exponent."""
    if "e" in text or "E" in text:
        try:
            value = Decimal(text)
        except InvalidOperation:
            return text
        return value if value.is_finite() else text
    return text


def module_average(total, count):
    """total / count as the module computes an average: rounded half to even,
    keeping as many decimals (up to 28) as fit below 2**96."""
    with localcontext(_EXACT):
        quotient = total / count
        for places in range(28, -1, -1):
            rounded = quotient.quantize(Decimal(1).scaleb(-places), rounding=ROUND_HALF_EVEN)
            if abs(rounded.scaleb(places)) < _LARGEST:
                return rounded
    return quotient


def decimal_text(value):
    """Plain decimal text without trailing zeros: 0.025, 3, -1.5."""
    text = f"{value.normalize():f}"
    return "0" if text in ("-0", "") else text


class Plan:
    """What was planned: the window [first, end) of the series, the request as
    plan took it, and the chosen indices of the whole series."""

    __slots__ = ("series", "first", "end", "request", "threshold_text", "chosen")


RULE_NAMES = (("--run", "min_selections"), ("--block", "min_consecutive_periods"),
              ("--max-off", "max_gap_between_periods"), ("--start-within", "max_gap_from_start"))


def make_plan(args, series):
    first, end = window(series, args.start, args.until)
    count = end - first
    resolution = seconds_of(series.resolution)

    def periods(option, text):
        return to_periods(option, text, resolution, args.periods)

    min_selections = periods("--run", args.run)
    block = periods("--block", args.block) if args.block is not None else 1
    max_off = periods("--max-off", args.max_off) if args.max_off is not None else count
    start_within = periods("--start-within", args.start_within) if args.start_within is not None else max_off
    # Without --cheap no period is cheap: the threshold lies below every price.
    threshold = args.cheap if args.cheap is not None else str(1 - _LARGEST)
    request = dict(low_price_threshold=threshold, min_selections=min_selections, min_consecutive_periods=block,
                   max_gap_between_periods=max_off, max_gap_from_start=start_within,
                   aggressive=args.strategy == "average")
    prices = [plan_price(text) for text in series.prices[first:end]]
    try:
        chosen = tariffsieve.plan(prices, **dict(request, low_price_threshold=plan_price(threshold)))
    except ValueError as exc:
        raise BadInput(explain(str(exc), series, first, args, request, count)) from None
    except OverflowError:
        raise BadInput("a rule is too long: "
                       + ", ".join(f"{option} {request[name]} periods" for option, name in RULE_NAMES)) from None
    plan = Plan()
    plan.series, plan.first, plan.end, plan.request = series, first, end, request
    plan.threshold_text = args.cheap
    plan.chosen = [first + i for i in chosen]
    return plan


def explain(message, series, first, args, request, count):
    """The module's message with the file line or option it concerns."""
    reason = re.search(r" \(([^()]*)\)$", message)
    reason = f" ({reason.group(1)})" if reason else ""
    price = re.search(r"prices\[(\d+)\] is ", message)
    if price:
        i = first + int(price.group(1))
        comma = "; write a decimal point, not a comma" if "," in series.prices[i] else ""
        return f"{series.places[i]}: the price '{series.prices[i]}' is not a decimal number{reason}{comma}"
    if "low_price_threshold" in message:
        return f"--cheap {args.cheap}: not a decimal number{reason}"
    if "cannot contain more than" in message:
        return f"{count} periods to plan: {message}; plan a part of the series with --from and --until"
    rules = ", ".join(f"{option} {request[name]} ({name})" for option, name in RULE_NAMES)
    return f"{message}; the rules in periods: {rules}, over {count} periods"


def runs_of(indices):
    """[first, last] of each run of consecutive indices."""
    runs = []
    for i in indices:
        if runs and runs[-1][1] == i - 1:
            runs[-1][1] = i
        else:
            runs.append([i, i])
    return runs


def total_of(prices):
    with localcontext(_EXACT):
        return sum((price_value(text) for text in prices), Decimal(0))


def answer_json(plan):
    series = plan.series
    runs = []
    for start, last in runs_of(plan.chosen):
        prices = series.prices[start:last + 1]
        runs.append({"start": iso_text(series.times[start]), "end": iso_text(series.end_time(last)),
                     "periods": len(prices), "average": decimal_text(module_average(total_of(prices), len(prices)))})
    chosen_prices = [series.prices[i] for i in plan.chosen]
    answer = {
        "runs": runs,
        "indices": plan.chosen,
        "average": decimal_text(module_average(total_of(chosen_prices), len(chosen_prices))),
        "request": plan.request,
        "window": {"start": iso_text(series.times[plan.first]), "end": iso_text(series.end_time(plan.end - 1)),
                   "first_index": plan.first, "periods": plan.end - plan.first},
    }
    # Lists of indices on one line each, not one number a line.
    text = json.dumps(answer, indent=2)
    return re.sub(r"\[(?:\s*\d+,?)+\s*\]", lambda m: json.dumps(json.loads(m.group(0))), text) + "\n"


def answer_csv(plan):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    series = plan.series
    writer.writerow([series.time_key, series.price_key, "chosen"])
    chosen = set(plan.chosen)
    for i, (stamp, price) in enumerate(zip(series.stamps, series.prices)):
        writer.writerow([stamp, price, int(i in chosen)])
    return out.getvalue()


def clock_range(start, end):
    """'Sat 11:15-13:00', 'Sat 23:00-24:00' or 'Sat 22:00-Sun 01:30'."""
    if end.date() == start.date():
        return f"{start:%a %H:%M}-{end:%H:%M}"
    if end.date() - start.date() == timedelta(days=1) and end.time() == time(0):
        return f"{start:%a %H:%M}-24:00"
    return f"{start:%a %H:%M}-{end:%a %H:%M}"


def places_of(prices):
    """The most decimals any of the prices has."""
    most = 0
    for text in prices:
        exponent = price_value(text).as_tuple().exponent
        most = max(most, -exponent if isinstance(exponent, int) else 0)
    return most


def answer_text(plan, per_row, with_chart):
    series = plan.series
    request = plan.request
    resolution = seconds_of(series.resolution)
    window_prices = series.prices[plan.first:plan.end]
    count = len(window_prices)
    quantum = Decimal(1).scaleb(-places_of(window_prices))

    def shown(value):
        return f"{value.quantize(quantum, rounding=ROUND_HALF_EVEN):f}"

    def span(periods):
        return f"{describe(periods * resolution)} ({periods})"

    last = len(series.times) - 1
    lines = [f"{series.name}: {len(series.times)} periods of {describe(resolution)}, "
             f"{series.times[0]:%a %Y-%m-%d %H:%M} to {series.end_time(last):%a %Y-%m-%d %H:%M}"]
    if count < len(series.times):
        lines[0] += (f"; planned {clock_range(series.times[plan.first], series.end_time(plan.end - 1))} "
                     f"({count} periods)")
    strategy = "lowest average price" if request["aggressive"] else "most cheap periods"
    off = request["max_gap_between_periods"]
    rules = [f"at least {span(request['min_selections'])}",
             f"blocks of {span(request['min_consecutive_periods'])} or more",
             f"off at most {span(off)}" if off < count else "off for any length",
             f"start within {span(request['max_gap_from_start'])}" if request["max_gap_from_start"] < count
             else "start any time"]
    cheap = (f"cheap at or below {plan.threshold_text}" if plan.threshold_text is not None else "no price counts as cheap")
    lines.append(f"{strategy}: {', '.join(rules)}; {cheap}")
    lines.append("")
    runs = []
    for start, end in runs_of(plan.chosen):
        prices = series.prices[start:end + 1]
        runs.append((clock_range(series.times[start], series.end_time(end)), describe(len(prices) * resolution),
                     shown(module_average(total_of(prices), len(prices)))))
    clock_width, length_width = (max(len(run[column]) for run in runs) for column in (0, 1))
    for clock, length, average in runs:
        lines.append(f"  {clock:<{clock_width}}  {length:>{length_width}}  average {average}")
    chosen_prices = [series.prices[i] for i in plan.chosen]
    total = total_of(chosen_prices)
    average = module_average(total, len(chosen_prices))
    summary = (f"{len(chosen_prices)} period{'s' * (len(chosen_prices) != 1)} ({describe(len(chosen_prices) * resolution)}), "
               f"total {shown(total)}, average {shown(average)}")
    if plan.threshold_text is not None:
        threshold = price_value(plan.threshold_text)
        summary += f", {sum(price_value(p) <= threshold for p in chosen_prices)} cheap"
    lines.append(summary)
    if with_chart:
        times = series.times[plan.first:plan.end]
        one_day = times[0].date() == times[-1].date()
        labels = [f"{t:%H:%M}" if one_day else f"{t:%a %H:%M}" for t in times]
        values = [price_value(p) for p in window_prices]
        threshold = price_value(plan.threshold_text) if plan.threshold_text is not None else None
        chosen = [i - plan.first for i in plan.chosen]
        lines.append("")
        lines.extend(chart(labels, window_prices, values, threshold, plan.threshold_text, chosen,
                           per_row or per_row_for(count, resolution)))
    return "\n".join(lines) + "\n"


def run(argv=None, stdin=None):
    """The plan and the answer text for the command line argv."""
    args = parse_arguments(argv)
    series = read_series(args.input, stdin if stdin is not None else sys.stdin.buffer, args.input_format,
                         args.time_column, args.price_column, args.tz, args.resolution)
    plan = make_plan(args, series)
    if args.format == "json":
        return plan, answer_json(plan)
    if args.format == "csv":
        return plan, answer_csv(plan)
    return plan, answer_text(plan, args.per_row, not args.no_chart)


def main(argv=None):
    try:
        _, text = run(argv)
        sys.stdout.write(text)
        sys.stdout.flush()
    except BadInput as exc:
        sys.stderr.write(f"{PROGRAM}: error: {exc}\n")
        return 2
    except BrokenPipeError:
        # The reader went away (| head): nothing more to say to it.
        sys.stderr.close()
        return 1
    except KeyboardInterrupt:
        return 130
    return 0
