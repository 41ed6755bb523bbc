# The rest of a window under way. A plan made before the window began may
# meet new prices, a new total or real prices after a fallback while the
# load already ran part of it; planning what is left as a fresh window would
# run the whole total again and forget a run that is on. Here the periods
# that started by `now` are past (on where they ran, off otherwise), and the
# rest is chosen so that the past joined with it keeps every rule over the
# whole window, with the engine choosing each part.
#
# The engine plans a series from a clean start, so it cannot be told that
# the first period it sees continues a run (a carried-in run may go on by
# any number of periods; a fresh first run must last the shortest run).
# That one case is enumerated: the run under way goes on by its remainder
# plus 0 .. block-1 more periods, then stops for a period; the engine plans
# what follows; the fewest periods, then the lowest total, wins.
from __future__ import annotations

from bisect import bisect_right
from collections.abc import Iterable
from datetime import datetime, timezone
from decimal import Context, Decimal
from typing import Optional, Union

import tariffsieve
from tariffsieve_prices import PriceSeries, parse_timestamp
from tariffsieve_schedule.errors import RuleError, ScheduleError

Moment = Union[datetime, str]
# Exact for sums of up to 2016 prices below 2**96 with 28 decimals.
_EXACT = Context(prec=80)


def past_of(series: PriceSeries, first: int, last: int, now: datetime) -> int:
    """How many of the window's periods [first, last) have started by now (start at or before it)."""
    if (now.tzinfo is None) == series.aware:
        raise ScheduleError("{name} {text}: give it with a UTC offset exactly when the timestamps have one",
                            "now", "naive_now" if series.aware else "aware_now", text=now.isoformat())
    key = now.astimezone(timezone.utc) if series.aware else now
    return bisect_right(series.instants, key, first, last) - first


def ran_indices(series: PriceSeries, first: int, past: int, ran: Iterable[Moment]) -> "set[int]":
    """The window-relative indices of the periods that ran; each must be a past period of the window."""
    where = {moment: i - first for i, moment in enumerate(series.instants[first:first + past], first)}
    found = set()
    for moment in ran:
        given = parse_timestamp(moment) if isinstance(moment, str) else moment
        key = given.astimezone(timezone.utc) if given is not None and given.tzinfo and series.aware else given
        if key not in where:
            raise ScheduleError("{name} {text}: not the start of a period of the window that started by now",
                                "ran", "not_past", text=str(moment))
        found.add(where[key])
    return found


def _cost(prices: "list[str]", indices: "list[int]") -> Decimal:
    return sum((Decimal(prices[i]) for i in indices), Decimal(0)).normalize(_EXACT)


def _part(prices: "list[str]", need: int, block: int, max_off: int, limit: int, threshold: str,
          aggressive: bool) -> "Optional[list[int]]":
    """The fewest, then cheapest, periods of `prices` (a suffix of the window) that bring the total to `need`
    more, with the first chosen at index `limit` or before, and none at all if none is needed and the time
    off reaches the window's end within `limit`; None if the rules cannot be met."""
    count = len(prices)
    if need <= 0 and count <= limit:
        return []
    # Fewer periods than the shortest run can only be a run that ends with the window; the fewest such wins.
    for periods in range(max(need, 1), min(block - 1, count) + 1):
        if count - periods <= limit:
            return list(range(count - periods, count))
    least = max(need, block)
    if least > count:
        return None
    try:
        return tariffsieve.plan(prices, threshold, least, block, max_off, min(limit, max_off), aggressive)
    except ValueError:
        return None


def complete(prices: "list[str]", past: int, ran: "set[int]", rules: "dict[str, int]", threshold: str,
             aggressive: bool) -> "list[int]":
    """The window-relative indices chosen after the past, so that with `ran` they keep the rules over the
    window. RuleError when no choice of the rest can."""
    total, block, max_off = rules["total"], rules["block"], rules["max_off"]
    rest, need = prices[past:], total - len(ran)
    if not ran:  # the first run must still come within start_within of the window's start
        chosen = _part(rest, need, block, max_off, max(min(rules["start_within"], max_off) - past, 0), threshold,
                       aggressive)
    elif max(ran) < past - 1:  # off since the last run: the longest time off counts it
        chosen = _part(rest, need, block, max_off, max(max_off - (past - 1 - max(ran)), 0), threshold, aggressive)
    else:
        chosen = _carried(rest, need, _run_length(ran, past), rules, threshold, aggressive)
    if chosen is None:
        raise RuleError("{name}: what is left of the window after {past} periods cannot keep the rules with the "
                        "{ran} periods that ran", "ran", "no_rest", past=past, ran=len(ran), rules=dict(rules))
    return [past + i for i in chosen]


def _run_length(ran: "set[int]", past: int) -> int:
    length = 0
    while past - 1 - length in ran:
        length += 1
    return length


def _carried(rest: "list[str]", need: int, length: int, rules: "dict[str, int]", threshold: str,
             aggressive: bool) -> "Optional[list[int]]":
    """The rest when the load is on in the last past period: the run goes on at least to the shortest run
    (or the window's end), then by 0 .. block-1 more periods before a stop (longer ones the engine's own
    first run covers), and the best of those wins."""
    block, max_off = rules["block"], rules["max_off"]
    forced = min(max(block - length, 0), len(rest))
    best: "Optional[tuple[int, Decimal, list[int]]]" = None
    for extra in range(block):
        head = forced + extra
        if extra and (head >= len(rest) or max_off == 0):
            break
        # With extra periods the run stops at `head`; without, the engine may go on with a run of its own.
        skip = head + 1 if extra else head
        tail = _part(rest[skip:], need - head, block, max_off, max_off - 1 if extra else max_off, threshold,
                     aggressive)
        if tail is None:
            continue
        chosen = list(range(head)) + [skip + i for i in tail]
        key = (len(chosen), _cost(rest, chosen))
        if best is None or key < best[:2]:
            best = (*key, chosen)
    return best[2] if best else None


def totals(prices: "list[str]", indices: "list[int]", threshold: str) -> tuple:
    """The engine's exact total, average and runs (first, last, total, average) of the chosen periods: a plan
    that must choose all of a list of prices adds them as any plan does."""
    def summed(chosen: "list[int]") -> "tuple[str, Optional[str]]":
        if not chosen:
            return "0", None
        _, total, average, _ = tariffsieve.plan_totals([prices[i] for i in chosen], threshold, len(chosen), 1)
        return total, average

    runs: "list[list[int]]" = []
    for i in indices:
        if runs and runs[-1][-1] == i - 1:
            runs[-1].append(i)
        else:
            runs.append([i])
    return (list(indices), *summed(list(indices)),
            [(run[0], run[-1], *summed(run)) for run in runs])
