# A plan and the values every output shows: the request as plan gets it,
# the chosen periods, their runs with totals and averages, worked out once.
from decimal import ROUND_HALF_EVEN, Context, Decimal, localcontext

import tariffsieve

from tariffsieve_plan.durations import to_periods
from tariffsieve_plan.errors import BadInput

# Wide enough that sums of up to 2016 prices below 2**96 with 28 decimals stay exact.
EXACT = Context(prec=80)
LARGEST = 2 ** 96
LONGEST_SERIES = 2016
RULES = ("min_selections", "min_consecutive_periods", "max_gap_between_periods", "max_gap_from_start")


def module_average(total: Decimal, count: int) -> Decimal:
    """total / count as the module computes an average: rounded half to even,
    keeping as many decimals (up to 28) as fit below 2**96."""
    with localcontext(EXACT):
        quotient = total / count
        for places in range(28, -1, -1):
            rounded = quotient.quantize(Decimal(1).scaleb(-places), rounding=ROUND_HALF_EVEN)
            if abs(rounded.scaleb(places)) < LARGEST:
                return rounded
    return quotient


def total_of(prices) -> Decimal:
    with localcontext(EXACT):
        return sum((Decimal(text) for text in prices), Decimal(0))


def rules_in_periods(durations: dict, labels: dict, seconds: Decimal, count: int, bare_is_periods: bool = False
                     ) -> dict:
    """The timing rules in periods of `seconds`, from durations by plan's parameter names (None or "": the
    default: blocks of one period, off for any length, start within the longest time off).
    BadInput names the rule at fault by its label, and by its name in `rule`."""
    def periods(name):
        text = durations.get(name)
        if text in (None, ""):
            return None
        try:
            return to_periods(labels[name], str(text), seconds, bare_is_periods)
        except BadInput as exc:
            exc.rule = name
            raise

    total, block, max_off, start_within = (periods(name) for name in RULES)
    max_off = count if max_off is None else max_off
    return dict(min_selections=total or 0, min_consecutive_periods=1 if block is None else block,
                max_gap_between_periods=max_off, max_gap_from_start=max_off if start_within is None else start_within)


class Run:
    """Consecutive chosen periods [first, last] of the series, with their price total and average."""

    __slots__ = ("first", "last", "periods", "total", "average")

    def __init__(self, first: int, last: int, prices) -> None:
        self.first, self.last, self.periods = first, last, last - first + 1
        self.total = total_of(prices)
        self.average = module_average(self.total, self.periods)


class Plan:
    """What was planned: the window [first, end) of the series, the request
    as plan took it, the threshold (None: none given), the chosen indices of
    the whole series, their runs, total, average and count of cheap ones."""

    __slots__ = ("series", "first", "end", "request", "threshold", "chosen", "runs", "total", "average", "cheap")


def runs_of(indices):
    """[first, last] of each run of consecutive indices."""
    runs = []
    for i in indices:
        if runs and runs[-1][1] == i - 1:
            runs[-1][1] = i
        else:
            runs.append([i, i])
    return runs


class PlanRefused(ValueError):
    """plan's refusal of a request, in its own words: a rule it cannot meet,
    no valid selection, too many periods. `too_long`: a rule past 2**64."""

    def __init__(self, message: str, too_long: bool = False) -> None:
        super().__init__(message)
        self.too_long = too_long


def make_plan(series, first: int, end: int, rules: dict, threshold: "str | None", aggressive: bool) -> Plan:
    """Plan periods [first, end) of the series under rules (counts of periods by plan's parameter names);
    PlanRefused when plan refuses."""
    count = end - first
    if count > LONGEST_SERIES:
        raise PlanRefused(f"{count} periods to plan, more than the {LONGEST_SERIES} plan takes")
    # Without a threshold no period is cheap: it lies below every price.
    request = dict(low_price_threshold=threshold if threshold is not None else str(1 - LARGEST), **rules,
                   aggressive=aggressive)
    try:
        chosen = tariffsieve.plan(series.prices[first:end], **request)
    except ValueError as exc:
        raise PlanRefused(str(exc)) from None
    except OverflowError as exc:
        raise PlanRefused(str(exc), too_long=True) from None
    plan = Plan()
    plan.series, plan.first, plan.end, plan.request = series, first, end, request
    plan.threshold = Decimal(threshold) if threshold is not None else None
    plan.chosen = [first + i for i in chosen]
    prices = series.prices
    plan.runs = [Run(a, b, prices[a:b + 1]) for a, b in runs_of(plan.chosen)]
    with localcontext(EXACT):
        plan.total = sum((run.total for run in plan.runs), Decimal(0))
    plan.average = module_average(plan.total, len(plan.chosen)) if plan.chosen else None
    plan.cheap = (sum(Decimal(prices[i]) <= plan.threshold for i in plan.chosen)
                  if plan.threshold is not None else 0)
    return plan
