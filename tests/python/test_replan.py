"""schedule(ran=...): the rest of a window under way. For random small
windows and random valid pasts, the past joined with the rest keeps every
rule over the whole window, and without cheap periods it is as good as the
best whole-window plan that keeps the past (fewest periods, then lowest
total), found by trying every selection."""
import random
from datetime import datetime, timedelta, timezone
from decimal import Decimal
from itertools import combinations

import pytest

from reference import valid
from tariffsieve_schedule import RuleError, ScheduleError, schedule

UTC = timezone.utc
START = datetime(2026, 4, 10, 22, tzinfo=UTC)


def hourly(prices):
    return [(START + timedelta(hours=i), price) for i, price in enumerate(prices)]


def selections(n, block, max_off, start_within):
    """Every selection of n periods that keeps the rules, as sets."""
    return [set(chosen) for k in range(1, n + 1) for chosen in combinations(range(n), k)
            if valid(list(chosen), n, block, max_off, start_within)]


def replanned(prices, past, ran, rules, cheap=None, strategy="average"):
    total, block, max_off, start_within = (timedelta(hours=value) for value in rules)
    now = START + timedelta(hours=past - 1, minutes=30)  # inside the last past period
    return schedule(hourly(prices), total=total, block=block, max_off=max_off, start_within=start_within,
                    cheap=cheap, strategy=strategy, now=now, ran=[START + timedelta(hours=i) for i in ran])


def cost(prices, chosen):
    return sum(Decimal(prices[i]) for i in chosen)


@pytest.mark.parametrize("seed", range(6))
def test_a_replan_keeps_the_rules_over_the_window_and_is_best_without_cheap_periods(seed):
    rng = random.Random(seed)
    for _ in range(60):
        n = rng.randint(2, 9)
        prices = [str(rng.randint(-3, 30)) for _ in range(n)]
        total = rng.randint(1, n)
        block, max_off = rng.randint(1, total), rng.randint(0, n)
        start_within = rng.randint(0, max_off)
        possible = [chosen for chosen in selections(n, block, max_off, start_within) if len(chosen) >= total]
        if not possible:
            continue
        past = rng.randint(1, n - 1)
        ran = {i for i in rng.choice(possible) if i < past}
        cheap = rng.choice([None, None, rng.choice(prices)])
        strategy = rng.choice(["average", "cheap_periods"])
        planned = replanned(prices, past, ran, (total, block, max_off, start_within), cheap, strategy)
        chosen = set(planned.indices)
        case = (prices, past, sorted(ran), (total, block, max_off, start_within), cheap, strategy, sorted(chosen))
        assert {i for i in chosen if i < past} == ran and len(chosen) >= total, case
        assert valid(sorted(chosen), n, block, max_off, start_within), case
        assert planned.total == cost(prices, chosen) and planned.ran == tuple(START + timedelta(hours=i)
                                                                              for i in sorted(ran)), case
        if cheap is None:
            keeping = [other for other in possible if {i for i in other if i < past} == ran]
            best = min((len(other), cost(prices, other)) for other in keeping)
            assert (len(chosen), cost(prices, chosen)) == best, case


def test_what_ran_counts_toward_the_total_and_a_run_under_way_lasts_its_shortest_run():
    prices = ["5", "4", "3", "2", "9", "9", "1", "1", "1", "9", "9", "9"]
    rules = (3, 2, 12, 12)
    # A fresh plan would run 06:00 to 09:00; two hours of the three have run, one of them still on.
    planned = replanned(prices, 3, {1, 2}, rules)
    assert planned.indices == (1, 2, 3) and [(run.first, run.periods) for run in planned.runs] == [(1, 3)]
    # One ran and is on: it goes on to its shortest run, and the third hour is the last one, a run the
    # window's end may cut short.
    assert replanned(prices, 3, {2}, rules).indices in ((2, 3, 4), (2, 3, 11))
    # The whole total ran: nothing more, but the longest time off still holds to the window's end.
    assert replanned(prices, 4, {1, 2, 3}, rules).indices == (1, 2, 3)
    assert replanned(prices, 4, {1, 2, 3}, (3, 2, 5, 5)).indices == (1, 2, 3, 6, 7)
    # Nothing ran yet: start within counts from the window's start, so the rest must start at once.
    assert replanned(prices, 3, set(), (3, 1, 12, 3)).indices[0] == 3
    # The run on may go on by less than a shortest run when that is cheapest.
    assert replanned(["1", "1", "1", "1", "9", "9", "9", "9"], 2, {0, 1}, (3, 2, 8, 8)).indices == (0, 1, 2)


def test_what_cannot_be_a_past_of_the_window_is_refused():
    prices = ["5", "4", "3", "2"]
    with pytest.raises(ScheduleError) as error:
        replanned(prices, 2, {2}, (2, 1, 4, 4))
    assert (error.value.field, error.value.reason) == ("ran", "not_past")
    with pytest.raises(RuleError) as error:
        replanned(prices, 3, set(), (2, 2, 4, 4))
    assert (error.value.field, error.value.reason) == ("ran", "no_rest")
    with pytest.raises(ScheduleError) as error:
        schedule(hourly(prices), total="1h", now=datetime(2026, 4, 10, 23), ran=[])
    assert (error.value.field, error.value.reason) == ("now", "naive_now")
