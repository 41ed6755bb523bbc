# The tariffsieve-plan command: read a price series with tariffsieve_prices,
# plan it with tariffsieve_schedule, answer as text, JSON or CSV. Bad input
# ends with one line on standard error and status 2, worded with the options.
import argparse
import re
import sys
from datetime import timedelta

import tariffsieve
from tariffsieve_plan.billing import add_options, model_options, price_model_of
from tariffsieve_plan.errors import BadInput
from tariffsieve_plan.formats import answer_csv, answer_json, answer_text
from tariffsieve_prices import PriceDataError, load_zone, read_prices
from tariffsieve_schedule import RuleError, ScheduleError, schedule, seconds_of

PROGRAM = "tariffsieve-plan"
# How a choice the reader asks for is made on the command line.
_CHOICES = {"records": " (--records {})", "price_field": " (--price-column {})",
            "time_field": "; name them with --records, --time-column and --price-column",
            "column": "; name them with --time-column and --price-column", "zone": " (--tz ZONE)",
            "resolution": " (--resolution DURATION)"}


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line, not argparse's usage block: callers log standard error.
        raise BadInput(f"{message} (--help lists the options)")


def parse_arguments(argv):
    parser = _Parser(
        prog=PROGRAM,
        description="Choose the cheapest periods of a price series under timing rules given in durations, "
                    "and print them as clock times.",
        epilog="Durations: 45min, 1h30m, 2.5h, 1d; each must be a whole number of the series' periods. "
               "Exit status: 0 with a plan, 2 on bad input (one line on standard error).")
    parser.add_argument("--version", action="version", version=f"{PROGRAM} {tariffsieve.__version__}")
    read = parser.add_argument_group("input")
    read.add_argument("input", help="CSV, JSON or ENTSO-E XML file of prices, or - for standard input")
    read.add_argument("--input-format", choices=("auto", "csv", "json", "xml"), default="auto",
                      help="default: by the file's ending, else JSON for text starting with [ or {, XML for <, "
                           "else CSV")
    read.add_argument("--records", action="append", metavar="PATH",
                      help="JSON: the list of records to read, as a dotted path (data.ee, multiAreaEntries); "
                           "ENTSO-E XML: the TimeSeries to read, by area code (10YNL----------L) or number (2); "
                           "repeat or separate by commas to join several (default: the list found)")
    read.add_argument("--time-column", metavar="NAME",
                      help="the start time: CSV header name or 1-based number (default: the first column); "
                           "JSON field, dotted for nested ones (default: start, startsAt, time, ...)")
    read.add_argument("--price-column", metavar="NAME",
                      help="the price: CSV header name or 1-based number (default: the second column); "
                           "JSON field, dotted for nested ones such as entryPerArea.SE3 (default: price, value, "
                           "total, ...)")
    read.add_argument("--tz", metavar="ZONE",
                      help="IANA time zone of timestamps without a UTC offset (such as Europe/Berlin), and the "
                           "zone to show times in (default: as written; for UTC timestamps this machine's zone)")
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
                            "ISO 8601 instant, or now (from the period running now)")
    rules.add_argument("--until", metavar="TIME",
                       help="plan periods that end by this clock time (its next occurrence after --from) "
                            "or ISO 8601 instant")
    rules.add_argument("--partial", action="store_true",
                       help="where the prices do not cover all of --from to --until, plan the part they cover "
                            "(default: an error)")
    add_options(parser)
    _output_options(parser)
    args = parser.parse_args(argv)
    if args.per_row is not None and args.per_row < 1:
        raise BadInput("--per-row must be at least 1")
    return args


def _output_options(parser):
    out = parser.add_argument_group("output")
    out.add_argument("--format", choices=("text", "json", "csv"), default="text",
                     help="text: runs and a chart (default); json: runs, indices, average, request; "
                          "csv: the series in time order with a chosen column")
    out.add_argument("--per-row", type=int, metavar="N",
                     help="periods a row of the text chart (default: 1 up to 48 periods, else an hour)")
    out.add_argument("--no-chart", action="store_true", help="text without the chart")


def _resolution(text):
    if text is None:
        return None
    try:
        seconds = seconds_of("resolution", text)
    except ScheduleError as exc:
        if exc.reason != "no_unit":
            raise BadInput(exc.worded("--resolution")) from None
        seconds = None
    if not seconds:
        raise BadInput(f"--resolution {text}: give a positive duration with a unit, such as 15min")
    try:
        return timedelta(microseconds=int(seconds * 1000000))
    except OverflowError:
        raise BadInput(f"--resolution {text}: longer than any period of a price series") from None


def read_input(args, stdin):
    """The series the options name, in time order."""
    if args.input == "-":
        data, name = stdin.read(), "standard input"
    else:
        try:
            with open(args.input, "rb") as f:
                data = f.read()
        except OSError as exc:
            raise BadInput(f"{args.input}: {exc.strerror or exc}") from None
        name = args.input.replace("\\", "/").rsplit("/", 1)[-1]
    zone = None
    if args.tz is not None:
        try:
            zone = load_zone(args.tz)
        except PriceDataError as exc:
            raise BadInput(f"--tz: {exc}") from None
    paths = tuple(part.strip() for given in args.records or () for part in given.split(",") if part.strip())
    try:
        return read_prices(data, format=None if args.input_format == "auto" else args.input_format,
                           records=paths, time_field=args.time_column, price_field=args.price_column,
                           tz=zone, resolution=_resolution(args.resolution), name=name)
    except PriceDataError as exc:
        hint = _CHOICES.get(exc.choice or "", "")
        named = " or ".join(exc.candidates[:4]) or {"records": "PATH", "price_field": "FIELD"}.get(exc.choice, "")
        raise BadInput(f"{exc}{hint.format(named)}") from None


def show_zone(series, tz):
    """UTC prices without --tz are shown in this machine's zone: the series so shown, and a note that says so."""
    if tz is not None or not series.utc:
        return series, None
    from tariffsieve_plan.zones import machine_zone

    zone, name = machine_zone()
    return series.in_zone(zone), f"times in {name} (this machine's zone)"


# The option that gives each argument of schedule(), for its messages.
OPTIONS = {"total": "--run", "block": "--block", "max_off": "--max-off", "start_within": "--start-within",
           "cheap": "--cheap", "strategy": "--strategy", "start": "--from", "end": "--until", "tz": "--tz",
           "price_model": "--fees", "billing": "--hourly"}
RULE_NAMES = (("--run", "min_selections"), ("--block", "min_consecutive_periods"),
              ("--max-off", "max_gap_between_periods"), ("--start-within", "max_gap_from_start"))
# What the command adds to a message: the option that settles it.
_SUFFIXES = {"no_unit": ", or add --periods to count periods", "not_covered": " with --partial",
             "naive_offsets": " with --tz", "aware_on_naive": " with --tz", "now_naive": " with --tz"}
_BARE = re.compile(r"\d+(?:\.\d*)?|\.\d+")


def refusal_text(error: RuleError) -> str:
    """The engine's refusal with the rules in periods, named by their options."""
    rules, count = error.values["rules"], error.values["count"]
    by_engine = {"min_selections": rules["total"], "min_consecutive_periods": rules["block"],
                 "max_gap_between_periods": rules["max_off"], "max_gap_from_start": rules["start_within"]}
    if error.reason == "too_long":
        return "a rule is too long: " + ", ".join(f"{option} {by_engine[name]} periods" for option, name in RULE_NAMES)
    if error.reason == "too_many_periods":
        return f"{count} periods to plan, more than the {error.values['most']} plan takes; plan a part of the " \
               f"series with --from and --until"
    named = ", ".join(f"{option} {by_engine[name]} ({name})" for option, name in RULE_NAMES)
    return f"{error.values['engine']}; the rules in periods: {named}, over {count} periods"


def worded(error: ScheduleError) -> str:
    """A schedule's error in the command's words."""
    if isinstance(error, RuleError) and error.field != "prices":
        return refusal_text(error)
    return error.worded(OPTIONS.get(error.field, error.field), OPTIONS) + _SUFFIXES.get(error.reason, "")


def durations_of(args, series):
    """The rules as schedule() takes them: with --periods a bare number counts periods."""
    durations = {"total": args.run, "block": args.block, "max_off": args.max_off,
                 "start_within": args.start_within}
    if not args.periods:
        return durations
    # Billed by the hour, a period is an hour.
    step = timedelta(hours=1) if args.hourly else series.resolution
    for field, text in durations.items():
        if text is not None and _BARE.fullmatch(text.strip()):
            count = float(text)
            if count != int(count):
                raise BadInput(f"{OPTIONS[field]} {text}: a number of periods must be whole")
            durations[field] = int(count) * step
    return durations


def run(argv=None, stdin=None, now=None):
    """The schedule and the answer text for the command line argv; now (UTC) for --from now."""
    args = parse_arguments(argv)
    series = read_input(args, stdin if stdin is not None else sys.stdin.buffer)
    model = price_model_of(args)
    if model is not None and model.fees is not None and series.utc and args.tz is None:
        # Shown in this machine's zone, UTC prices would take its clock for the table's.
        raise BadInput("--fees: the prices' timestamps are in UTC, and a fee table follows a local clock: give "
                       "--tz, the zone of the table's clock times")
    series, zone_note = show_zone(series, args.tz)
    try:
        plan = schedule(series, **durations_of(args, series), cheap=args.cheap,
                        strategy=args.strategy, start=args.start, end=args.until, partial=args.partial, now=now,
                        price_model=model, billing="hourly" if args.hourly else None)
    except ScheduleError as exc:
        if exc.field == "price_model" and exc.reason == "inexact":
            raise BadInput(exc.worded(model_options(args))) from None
        raise BadInput(worded(exc)) from None
    if args.format == "json":
        return plan, answer_json(plan, zone_note)
    if args.format == "csv":
        return plan, answer_csv(plan)
    return plan, answer_text(plan, args.cheap, zone_note, args.per_row, not args.no_chart)


def main(argv=None, stdin=None, stdout=None, stderr=None, now=None):
    """The command: 0 with a plan written to stdout, 2 with one line on stderr."""
    stdout = stdout or sys.stdout
    stderr = stderr or sys.stderr
    try:
        _, text = run(argv, stdin, now)
        stdout.write(text)
        stdout.flush()
    except BadInput as exc:
        stderr.write(f"{PROGRAM}: error: {exc}\n")
        return 2
    except BrokenPipeError:
        # The reader went away (| head): nothing more to say to it.
        stderr.close()
        return 1
    except KeyboardInterrupt:
        return 130
    except SystemExit as exc:  # --help
        return exc.code if isinstance(exc.code, int) else 0
    return 0
