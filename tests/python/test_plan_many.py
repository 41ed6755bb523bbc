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


def test_price_texts_parsed_on_the_planning_threads_fail_as_plan_words_it():
    """Prices given as str are parsed on the planning threads; one that is no
    decimal, or a bad threshold behind good prices, is still plan's error,
    in plan's order (prices first), whatever kinds the other prices are."""
    day = [f"0.{i % 9 + 1}5" for i in range(96)]
    good = (day, "0.2", 8, 2, 16, 8)
    broken = [
        day[:40] + ["0.1.2"] + day[41:],
        day[:95] + ["1e3"],
        ["x" * 50] + day[1:],  # the message cuts the text short
        day[:10] + [" 0.1"] + day[11:20] + ["-"] + day[21:],
        day[:5] + ["\ud800"] + day[6:],  # no UTF-8 text: read as plan reads it
        day[:5] + [0.25, "0.1.2"] + day[7:],
        tuple(day[:60]) + ("9" * 30,),
        day[:30] + ["0." + "9" * 40 + "_x"] + day[31:],
        day[:3] + ["0,25 €"] + day[4:],  # shown from the copy of a text that is not ASCII
    ]
    requests = []
    for prices in broken:
        requests += [good, (prices, "0.2", 8, 2, 16, 8), (prices, "no", 8, 2), (list(day), "0.1.1", 8, 2)]
    for threads in (1, 2):
        got = plan_many(requests, threads)
        for g, request in zip(got, requests):
            assert same(g, outcome(*request)), (g, request[:2])
    assert all(isinstance(g, ValueError) for g in got[1::4]) and isinstance(got[4 * 4 + 1], UnicodeEncodeError)


def test_prices_changed_by_another_thread_while_planning():
    """The batch reads each list once; another thread replacing the items
    (freeing the old strs) while the texts are parsed changes no answer."""
    states = [[f"0.{(i * k) % 89 + 10}" for i in range(96)] for k in (3, 7)]
    expected = [plan(state, "0.2", 8, 2, 16, 8) for state in states]
    lists = [list(states[0]) for _ in range(50)]
    stop = threading.Event()

    def change():
        while not stop.is_set():
            for i, prices in enumerate(lists):
                prices[:] = ["".join(text) for text in states[i % 2]]  # strs of their own

    changer = threading.Thread(target=change)
    changer.start()
    try:
        for _ in range(20):
            got = plan_many([(prices, "0.2", 8, 2, 16, 8) for prices in lists * 10], threads=2)
            assert all(answer in expected for answer in got)
    finally:
        stop.set()
        changer.join()


class Changing:
    """A count whose __index__ first changes a price of the list it is given."""

    def __init__(self, prices, value):
        self.prices, self.value = prices, value

    def __index__(self):
        self.prices[8] = "9.5"
        return self.value


def fleet_requests(day):
    """Runs of requests on one list, as a fleet's: the same strs, equal texts
    in other strs and a tuple, the list changed mid-run by a count, a last
    price changed, and a run on texts that are no decimals."""
    copy = ["".join(text) for text in day]
    last_changed = day[:-1] + ["0.001"]
    broken = day[:50] + ["0.1.2"] + day[51:]
    rules = [(8, 2, 16, 8), (4, 1, 0, 0), (12, 3, 6, 0), (2, 2, 4, 4)]
    requests = [(day, "0.2", *r) for r in rules] + [(copy, "0.1", *r) for r in rules]
    requests += [(tuple(day), "0.3", *r) for r in rules] + [(broken, "0.2", *r) for r in rules]
    requests += [(last_changed, "0.2", 2, 1, 95, 95), (day, "0.2", 2, 1, 95, 95), (broken, "x", 2, 1)]
    requests += [(day, "0.2", Changing(day, 8), 2, 16, 8)] + [(day, "0.2", *r) for r in rules]
    return requests


@pytest.mark.parametrize("threads", [1, 2])
def test_requests_on_one_price_list_are_each_what_plan_gives(threads):
    def day():
        return [f"0.{(i * 37) % 89 + 10}" for i in range(96)]

    expected = [outcome(*request) for request in fleet_requests(day())]
    got = plan_many(fleet_requests(day()), threads)
    assert all(same(g, e) for g, e in zip(got, expected)), [(g, e) for g, e in zip(got, expected) if not same(g, e)]
    assert expected[-4] != expected[0] and expected[16] != expected[17]  # the changes moved the plans
    assert [type(e) for e in expected[12:16]] == [ValueError] * 4
