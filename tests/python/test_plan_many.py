"""plan_many: for each request what plan returns or raises, in request order,
on any number of threads."""
import random
import threading

import pytest
from tariffsieve import get_cheapest_periods as cheapest
from tariffsieve import plan, plan_many


def outcome(*request):
    try:
        return plan(*request)
    except BaseException as error:  # PanicException included
        return error


def same(got, expected):
    if isinstance(expected, BaseException):
        return type(got) is type(expected) and got.args == expected.args
    return got == expected


def random_requests(seed, count):
    """Everyday days and broken ones: sizes beyond the series, short blocks,
    long gaps; the defaulted arguments given or left out at random."""
    rng = random.Random(seed)
    requests = []
    for _ in range(count):
        n = rng.choice([3, 24, 96, 192])
        prices = [f"{rng.uniform(-0.05, 0.4):.4f}" for _ in range(n)]
        args = (prices, rng.choice(["0", "0.1", "0.2"]), rng.randint(1, n + 1), rng.randint(1, 5),
                rng.randint(0, 12), rng.randint(0, 8), rng.random() < 0.5)
        requests.append(args[: rng.randint(4, 7)])
    return requests


@pytest.mark.parametrize("threads", [1, 2, 7, None])
def test_answers_and_errors_are_plans_in_request_order(threads):
    requests = random_requests(threads or 0, 400)
    expected = [outcome(*request) for request in requests]
    got = plan_many(requests, threads)
    assert len(got) == len(requests)
    assert all(same(g, e) for g, e in zip(got, expected))
    assert {type(e) for e in expected} == {list, ValueError}


class Index:
    """A count whose __index__ raises what it is given."""

    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error


def caught_panic():
    try:
        cheapest(["79228162514264337593543950335", "1", "5"], "0", 1, 1, 1, 1)
    except BaseException as error:
        return error


def test_a_bad_request_fails_alone():
    day = [f"0.{i % 7 + 1}" for i in range(24)]
    good = (day, "0.2", 4, 1, 4)
    bad = [
        (day, "0.2", -1, 1),  # OverflowError
        (day, object(), 4, 1),  # TypeError naming the threshold
        (["79228162514264337593543950335"] * 2 + day, "0", 2, 1, 26, 26),  # sums leave the range
        (day, "0.2", Index(ZeroDivisionError("in __index__")), 1),
        (day, "0.2", Index(caught_panic()), 1),  # a PanicException that comes back through Python
        (day,),
        (day, "0", 1, 1, 0, 0, True, "one too many"),
        (day, "0", 1, 1, 0, 0, "yes"),
    ]
    requests = [good]
    for request in bad:
        requests += [request, good]
    got = plan_many(requests, threads=2)
    assert got[::2] == [plan(*good)] * (len(bad) + 1)
    for g, request in zip(got[1::2], bad):
        assert same(g, outcome(*request)), (g, request)
    assert type(got[5]).__name__ == "ValueError" and type(got[9]).__name__ == "PanicException"
    list_request = plan_many([list(good)])[0]
    assert isinstance(list_request, TypeError) and "'list' object cannot be cast as 'tuple'" in str(list_request)


def test_the_call_itself():
    assert plan_many([]) == [] and plan_many(iter([]), threads=3) == []
    assert plan_many((r for r in [(["1", "2"], "0", 1, 1, 1, 1)]), threads=64) == [[0]]
    with pytest.raises(TypeError, match="argument 'requests'"):
        plan_many(5)
    with pytest.raises(ValueError, match="threads must be at least 1"):
        plan_many([], threads=0)
    with pytest.raises(OverflowError):
        plan_many([], threads=-1)
    with pytest.raises(TypeError, match="argument 'threads'"):
        plan_many([], threads="2")


def test_batches_from_several_threads_at_once():
    requests = random_requests(5, 200)
    expected = plan_many(requests, threads=1)
    results = []

    def run():
        results.append(plan_many(requests, threads=2))

    callers = [threading.Thread(target=run) for _ in range(4)]
    for caller in callers:
        caller.start()
    for caller in callers:
        caller.join()
    assert len(results) == 4
    for result in results:
        assert all(same(g, e) for g, e in zip(result, expected))
