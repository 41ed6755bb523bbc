"""Hostile input through the Python call: huge lists, text that is not
UTF-8, subclasses with odd methods, __index__ methods that raise, re-enter
or change the price list, counts at the edges of 64 bits. None may crash,
and none may change the caller's list."""
import operator
import time

import pytest
from reentry import OVERFLOWING, Index, earlier_panic
from tariffsieve import get_cheapest_periods as cheapest

MILLION = 10**6
MAX_COUNT = 2**64 - 1
SERIES = ["5", "1", "1", "9", "1", "0.5", "7", "2"]
# Sums beyond 2^95: the exhaustive search answers these itself.
LARGE = ["30000000000000000000000000000", "1", "2", "30000000000000000000000000000", "1", "7"]


def outcome(call):
    try:
        return ("result", call())
    except BaseException as error:  # PanicException derives from BaseException
        return (type(error), str(error))


def matches(got, expected):
    """Same class, and the same message unless the interpreter words it."""
    return got[0] == expected[0] and (expected[1] is None or got[1] == expected[1])


class Unfriendly:
    """Methods that the call must never use: each one raises."""

    def _refuse(self, *args, **kwargs):
        raise AssertionError("the call used an overridden method")

    __iter__ = __len__ = __getitem__ = __str__ = __repr__ = __eq__ = __contains__ = _refuse
    __hash__ = None
    encode = __format__ = __bool__ = __index__ = _refuse


class OddStr(Unfriendly, str):
    pass


class OddList(Unfriendly, list):
    pass


@pytest.mark.parametrize(
    "tail, threshold, expected",
    [
        ([], "1", (ValueError, "prices cannot contain more than 28 items")),
        ([], "abc", (ValueError, "Invalid decimal")),
        (["1e3"], "1", (ValueError, "Invalid decimal")),
        ([7], "1", (TypeError, "'int' object cannot be cast as 'str'")),
        (["\udc80"], "1", (UnicodeEncodeError, None)),
    ],
)
def test_a_million_prices_are_all_converted_then_refused_quickly(tail, threshold, expected):
    prices = [f"0.{i % 997}" for i in range(MILLION)] + tail
    snapshot = list(prices)
    started = time.perf_counter()
    got = outcome(lambda: cheapest(prices, threshold, 1, 1))
    elapsed = time.perf_counter() - started
    assert matches(got, expected)
    assert elapsed < 10, f"{elapsed:.2f}s for {len(prices)} prices"
    assert len(prices) == len(snapshot) and all(a is b for a, b in zip(prices, snapshot))


@pytest.mark.parametrize(
    "arguments",
    [
        lambda: (["1", "2"], "\ud800"),
        lambda: (["\udfff", "2"], "1"),
        lambda: (["1", "2", "3\ud83d\ude00"], "1"),  # a pair of surrogates, not one character
        lambda: (["1", OddStr("\udc80")], "1"),
        lambda: (["1", "2"], OddStr("1\udc80")),
    ],
)
def test_lone_surrogates_fail_to_encode(arguments):
    prices, threshold = arguments()  # made here: the odd strings refuse pytest's own handling
    snapshot = list.__iter__(prices)
    snapshot = list(snapshot)
    with pytest.raises(UnicodeEncodeError):
        cheapest(prices, threshold, 1, 1)
    assert list.__len__(prices) == len(snapshot) and all(a is b for a, b in zip(list.__iter__(prices), snapshot))
    kind, message = outcome(lambda: cheapest(["1", "2"], "1", 1, 1, **{"\udc80": 1}))
    assert (kind, message) == (TypeError, "get_cheapest_periods() got an unexpected keyword argument '\udc80'")


@pytest.mark.parametrize("text", ["1\x00", "\x001", "1\x002", "\u0661", "\uff11", "1\u0301", "\u00bd", "1\u00a0"])
def test_text_is_taken_whole_and_byte_by_byte(text):
    # An embedded NUL must not cut the text short; digits of other scripts
    # are not digits here.
    assert outcome(lambda: cheapest(["1", text], "1", 1, 1)) == (ValueError, "Invalid decimal")
    assert outcome(lambda: cheapest(["1", "2"], text, 1, 1)) == (ValueError, "Invalid decimal")


def test_subclasses_are_read_through_their_storage_only():
    plain = outcome(lambda: cheapest(list(SERIES), "1", 2, 2, 2, 1, False))
    prices = OddList(OddStr(p) for p in SERIES)
    items = list.__iter__(prices)
    snapshot = list(items)
    assert plain[0] == "result"
    assert outcome(lambda: cheapest(prices, OddStr("1"), 2, 2, 2, 1, False)) == plain
    assert list.__len__(prices) == len(SERIES)
    assert all(a is b for a, b in zip(list.__iter__(prices), snapshot))
    bad = OddList(["1", OddStr("x")])
    assert outcome(lambda: cheapest(bad, "1", 1, 1)) == (ValueError, "Invalid decimal")
    assert outcome(lambda: cheapest(OddList(), "1", 1, 1)) == (ValueError, "prices cannot be empty")


@pytest.mark.parametrize(
    "error, expected",
    [
        (ValueError("v"), (ValueError, "v")),
        (KeyboardInterrupt("stop"), (KeyboardInterrupt, "stop")),
        (SystemExit(3), (SystemExit, "3")),
        (GeneratorExit(), (GeneratorExit, "")),
        (MemoryError(), (MemoryError, "")),
        (RecursionError("deep"), (RecursionError, "deep")),
        (type("OwnTypeError", (TypeError,), {})("own"), None),  # a subclass passes unchanged
        (TypeError("plain"), (TypeError, "argument 'min_consecutive_periods': plain")),
    ],
)
def test_index_that_raises(error, expected):
    prices = list(SERIES)
    got = outcome(lambda: cheapest(prices, "1", 2, Index(error)))
    assert got == (expected or (type(error), "own"))
    assert prices == SERIES


def test_index_returning_what_is_no_integer():
    got = outcome(lambda: cheapest(["1", "2"], "1", 1, Index(1.5)))
    # The interpreter's own words, which change between CPython versions.
    _, words = outcome(lambda: operator.index(Index(1.5)))
    assert got == (TypeError, f"argument 'min_consecutive_periods': {words}")
    got = outcome(lambda: cheapest(["1", "2"], "1", 1, Index(2**64)))
    assert got == (OverflowError, "int too big to convert")


@pytest.mark.parametrize(
    "change, expected",
    [
        (list.clear, (ValueError, "prices cannot be empty")),
        (lambda p: p.append("x"), (ValueError, "Invalid decimal")),
        (lambda p: p.__setitem__(1, 7), (TypeError, "'int' object cannot be cast as 'str'")),
        (lambda p: p.__setitem__(slice(None), [str(i) for i in range(3)]), ("result", [0, 1])),
        (lambda p: p.extend(["1"] * MILLION), (ValueError, "prices cannot contain more than 28 items")),
        (lambda p: p.__setitem__(slice(None), [chr(0xD800)]), (UnicodeEncodeError, None)),
    ],
)
def test_index_that_changes_the_price_list(change, expected):
    # The list is converted after the counts, so the call sees the change.
    prices = [str(9 - i) for i in range(5)]  # items owned by the list alone
    got = outcome(lambda: cheapest(prices, "1", 2, Index(1, lambda: change(prices)), 1, 1))
    assert matches(got, expected)


def test_index_that_calls_back_into_the_module():
    panic = earlier_panic()
    Panic = type(panic)

    def nested(*args):
        return lambda: outcome(lambda: cheapest(*args))

    for inner in [nested(["2", "1"], "1", 1, 1, 1, 1), nested(["x"], "1", 1, 1), nested(OVERFLOWING, "0", 1, 1, 1, 1)]:
        assert outcome(lambda: cheapest(list(SERIES), "1", 2, Index(1, inner), 2, 2)) == outcome(
            lambda: cheapest(list(SERIES), "1", 2, 1, 2, 2))

    def abort_through():
        cheapest(OVERFLOWING, "0", 1, 1, 1, 1)

    assert outcome(lambda: cheapest(list(SERIES), "1", 2, Index(1, abort_through))) == (Panic, "Addition overflowed")


def test_index_raising_odd_panics(capfd):
    Panic = type(earlier_panic())

    class Unprintable:
        def __str__(self):
            raise RuntimeError("no text")

        __repr__ = __str__

    for raised, expected in [
        (Panic("again"), (Panic, "again")),
        (Panic(), (Panic, "")),
        (Panic(12, 13), (Panic, "(12, 13)")),
        (Panic(Unprintable()), None),
        (type("OwnPanic", (Panic,), {})("own"), None),
    ]:
        got = outcome(lambda: cheapest(["1", "2"], "1", 1, Index(raised)))
        if expected is None:
            assert issubclass(got[0], Panic)  # and no crash
        else:
            assert got == expected
    capfd.readouterr()


@pytest.mark.parametrize("aggressive", [True, False])
@pytest.mark.parametrize("prices, threshold, counts", [
    (SERIES, "1", (2, 1)), (SERIES, "1", (3, 2)), (LARGE, "1", (2, 1)), (LARGE, "2", (3, 2)),
])
def test_unbounded_gaps_act_as_no_limit(prices, threshold, counts, aggressive):
    n = len(prices)
    for huge in [MAX_COUNT, MAX_COUNT - 1, 2**63, 2**32]:
        assert cheapest(prices, threshold, *counts, huge, huge, aggressive) == cheapest(
            prices, threshold, *counts, n, n, aggressive)
        assert cheapest(prices, threshold, *counts, huge, 0, aggressive) == cheapest(
            prices, threshold, *counts, n, 0, aggressive)


@pytest.mark.parametrize("slot", range(4))
def test_counts_of_two_to_the_64(slot):
    counts = [1, 1, 1, 1]
    counts[slot] = MAX_COUNT
    got = outcome(lambda: cheapest(list(SERIES), "1", *counts))
    assert got[0] in ("result", ValueError)
    for too_big in [2**64, Index(2**64), 2**64 + 1, 10**100, -MAX_COUNT]:
        counts[slot] = too_big
        assert outcome(lambda: cheapest(list(SERIES), "1", *counts))[0] is OverflowError

    class OwnInt(int):
        def __index__(self):
            raise AssertionError("an int's own value is used")

    counts[slot] = OwnInt(MAX_COUNT)
    assert outcome(lambda: cheapest(list(SERIES), "1", *counts)) == got
