"""plan's Python face: its registration, the binding it shares with
get_cheapest_periods, every kind of price it reads and every bad one, and the
order in which it reports failures."""
import decimal
import inspect
import math

import numpy as np
import pytest
import tariffsieve
from reentry import OVERFLOWING, Index
from tariffsieve import plan
from test_arguments import fails_with

D = decimal.Decimal
F = "plan()"
P = ["3", "1", "2"]
NOT_A_PRICE = "object is not a price (str, int, float or decimal.Decimal)"
OUT_OF_RANGE = "out of range: a price's magnitude must be below 2^96"
SIGNATURE = ("(prices, low_price_threshold, min_selections, min_consecutive_periods, "
             "max_gap_between_periods=0, max_gap_from_start=0, aggressive=True)")


def test_registered_beside_get_cheapest_periods():
    assert tariffsieve.__all__ == ["get_cheapest_periods", "plan", "plan_many"]
    assert (plan.__name__, plan.__module__, plan.__self__) == ("plan", "tariffsieve", tariffsieve)
    assert plan.__text_signature__ == SIGNATURE
    params = list(inspect.signature(plan).parameters.values())
    assert [p.default for p in params][4:] == [0, 0, True]
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params)
    assert plan.__doc__.startswith("Find the cheapest periods in a long sequence of prices\n")
    assert "2016" in plan.__doc__ and plan.__doc__ != tariffsieve.get_cheapest_periods.__doc__


class Prices:
    """A sequence by __getitem__ alone: no length to check first."""

    def __init__(self, count):
        self.count = count

    def __getitem__(self, i):
        if i >= self.count:
            raise IndexError(i)
        return "1"


class LoudFloat(float):
    def __repr__(self):
        raise AssertionError("the value is read, not the subclass's repr")


class LoudDecimal(D):
    def as_tuple(self):
        raise AssertionError("the value is read, not the subclass's as_tuple")

    __repr__ = as_tuple


FAILURES = [
    # binding, worded as for get_cheapest_periods
    ((), {}, TypeError, f"{F} missing 4 required positional arguments: 'prices', 'low_price_threshold', "
     "'min_selections', and 'min_consecutive_periods'"),
    ((P, "1", 1), {}, TypeError, f"{F} missing 1 required positional argument: 'min_consecutive_periods'"),
    ((P, "1", 1, 1, 0, 0, True, 0), {"price": 1}, TypeError, f"{F} takes from 4 to 7 positional arguments but 8 were given"),
    ((P, "1", 1, 1), {"prices": P}, TypeError, f"{F} got multiple values for argument 'prices'"),
    ((P, "1", 1, 1), {"price": P}, TypeError, f"{F} got an unexpected keyword argument 'price'"),
    # arguments, in parameter order
    (("312", None, -1, 1), {}, TypeError, "argument 'prices': 'str' object is not a sequence of prices"),
    ((b"312", "1", 1, 1), {}, TypeError, "argument 'prices': 'bytes' object is not a sequence of prices"),
    (({"3", "1"}, "1", 1, 1), {}, TypeError, "argument 'prices': 'set' object is not a sequence of prices"),
    ((None, "1", 1, 1), {}, TypeError, "argument 'prices': 'NoneType' object is not a sequence of prices"),
    (([None], None, -1, 1), {}, TypeError, f"argument 'low_price_threshold': 'NoneType' {NOT_A_PRICE}"),
    ((P, True, 1, 1), {}, TypeError, f"argument 'low_price_threshold': 'bool' {NOT_A_PRICE}"),
    ((P, "\udc80", 1, 1), {}, UnicodeEncodeError, None),
    (([None], "x", 2.0, 1), {}, TypeError, "argument 'min_selections': 'float' object cannot be interpreted as an integer"),
    (([None], "x", -1, 1), {}, OverflowError, "can't convert negative int to unsigned"),
    (([None], "x", 1, 1), {"aggressive": 1}, TypeError, "argument 'aggressive': 'int' object cannot be cast as 'bool'"),
    # then the items, in order: a type error names the position and the type
    ((["1", None, "x"], "x", 1, 1), {}, TypeError, f"prices[1]: 'NoneType' {NOT_A_PRICE}"),
    ((["1", True], "1", 1, 1), {}, TypeError, f"prices[1]: 'bool' {NOT_A_PRICE}"),
    (([np.True_], "1", 1, 1), {}, TypeError, f"prices[0]: '{type(np.True_).__qualname__}' {NOT_A_PRICE}"),
    (([np.float32(1.5)], "1", 1, 1), {}, TypeError, f"prices[0]: 'float32' {NOT_A_PRICE}"),
    (([["1"]], "1", 1, 1), {}, TypeError, f"prices[0]: 'list' {NOT_A_PRICE}"),
    ((["1", "\udc80"], "1", 1, 1), {}, UnicodeEncodeError, None),
    # a value that is no decimal: "Invalid decimal", where and why
    ((["1", "2", "3", "abc", None], "x", 1, 1), {}, ValueError, "Invalid decimal: prices[3] is 'abc' (unknown character)"),
    ((["1", ""], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[1] is '' (empty)"),
    ((["9" * 50 + "x"], "1", 1, 1), {}, ValueError,
     f"Invalid decimal: prices[0] is '{'9' * 40}'... (overflow from too many digits)"),
    (([float("nan")], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[0] is nan (not a finite number)"),
    (([1, -math.inf], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[1] is -inf (not a finite number)"),
    (([np.float64("inf")], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[0] is inf (not a finite number)"),
    (([D("NaN")], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[0] is Decimal('NaN') (not a finite number)"),
    (([D("-sNaN")], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[0] is Decimal('-sNaN') (not a finite number)"),
    (([D("Infinity")], "1", 1, 1), {}, ValueError, "Invalid decimal: prices[0] is Decimal('Infinity') (not a finite number)"),
    (([2**96], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is {2**96} ({OUT_OF_RANGE})"),
    (([-(2**96)], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is {-(2**96)} ({OUT_OF_RANGE})"),
    (([10**100], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is an int of 333 bits ({OUT_OF_RANGE})"),
    (([Index(2**96)], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is {2**96} ({OUT_OF_RANGE})"),
    (([1e29], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is 1e+29 ({OUT_OF_RANGE})"),
    (([D("8E+28")], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is Decimal('8E+28') ({OUT_OF_RANGE})"),
    (([D("1E+999999")], "1", 1, 1), {}, ValueError, f"Invalid decimal: prices[0] is Decimal('1E+999999') ({OUT_OF_RANGE})"),
    # the threshold's value after every item, before the request rules
    (([], "abc", 0, 1), {}, ValueError, "Invalid decimal: low_price_threshold is 'abc' (unknown character)"),
    (([1, 2], math.nan, 0, 1), {}, ValueError, "Invalid decimal: low_price_threshold is nan (not a finite number)"),
    (([1, math.nan], math.nan, 0, 1), {}, ValueError, "Invalid decimal: prices[1] is nan (not a finite number)"),
    # length: refused before any item is read, also without a length to ask
    (([None] * 2017, "x", 1, 1), {}, ValueError, "prices cannot contain more than 2016 items"),
    ((Prices(2017), "1", 1, 1), {}, ValueError, "prices cannot contain more than 2016 items"),
    # the request rules, with get_cheapest_periods' messages
    (([], "1", 0, 1), {}, ValueError, "prices cannot be empty"),
    ((P, 1, 0, 1), {}, ValueError, "min_selections must be greater than 0"),
    ((P, 1, 2**64 - 1, 1), {}, ValueError, "min_selections cannot be greater than total number of items"),
    ((P, 1, 2, 0), {}, ValueError, "min_consecutive_periods must be greater than 0"),
    ((P, 1, 2, 3), {}, ValueError, "min_consecutive_periods cannot be greater than min_selections"),
    ((P, 1, 2, 1, 1, 2), {}, ValueError, "max_gap_from_start must be less than or equal to max_gap_between_periods"),
    # Python code that fails while an item is read passes unchanged
    (([1, Index(KeyError("k"))], "1", 1, 1), {}, KeyError, "'k'"),
]


@pytest.mark.parametrize("args, kwargs, error, message", FAILURES)
def test_failures(args, kwargs, error, message):
    fails_with(plan, args, kwargs, error, message)


@pytest.mark.parametrize("aggressive", [True, False])
def test_overflowing_sums_are_a_value_error(aggressive, capfd):
    with pytest.raises(ValueError) as caught:
        plan(list(OVERFLOWING), "0", 1, 1, 1, 1, aggressive)
    assert str(caught.value).startswith("Addition overflowed: sums of these prices leave the range of exact decimals")
    assert "aborted" not in capfd.readouterr().err  # no fault diagnostic either


# Each kind beside the same prices written as text; the series are chosen so
# that a misread value (1E+2 as 1, 0.1 as 0.1000000000000000055..., a rounding
# the parser would not make) changes the answer.
TWINS = [
    ([D("1E+2"), "99.99", D("100.01"), D("1.5E-7"), "0.00000016", D("-0E+3")], D("1.5E-7"),
     ["100", "99.99", "100.01", "0.00000015", "0.00000016", "0"], "0.00000015"),
    ([0.1, 1e-05, 2.5, -0.5, 1e16, LoudFloat(0.3)], 1e-05,
     ["0.1", "0.00001", "2.5", "-0.5", "10000000000000000", "0.3"], "0.00001"),
    ([0.1, "0.1000000000000000055511151231257827", 0.2], 0.1, ["0.1", "0.1000000000000000055511151231257827", "0.2"], "0.1"),
    ([3, -2, 7, np.int64(5), 0, Index(4)], np.int64(0), ["3", "-2", "7", "5", "0", "4"], "0"),
    ([2**96 - 1, 1 - 2**96, 5], 2**96 - 1, ["79228162514264337593543950335", "-79228162514264337593543950335", "5"],
     "79228162514264337593543950335"),
    ([D("0.12345678901234567890123456789"), D("0.1234567890123456789012345679"), LoudDecimal("0.5"), D("1E-40")],
     D("0.1234567890123456789012345679"),
     ["0.12345678901234567890123456789", "0.1234567890123456789012345679", "0.5", "0." + "0" * 39 + "1"],
     "0.1234567890123456789012345679"),
    ((np.float64(0.25), np.float64(2.5e-06), np.float64(-3.0)), "0.25", ["0.25", "0.0000025", "-3.0"], "0.25"),
    (np.array([0.3, 0.1, 5e-07, 4.0]), 0.1, ["0.3", "0.1", "0.0000005", "4"], "0.1"),
    (np.array([3, 1, -4, 1], dtype=np.int64), np.int32(1), ["3", "1", "-4", "1"], "1"),
    (np.array(["0.3", "0.1", "1_000"]), np.str_("0.1"), ["0.3", "0.1", "1000"], "0.1"),
    (np.array([D("0.3"), 1, "0.1"], dtype=object), "0.1", ["0.3", "1", "0.1"], "0.1"),
]


def outcome(function, *args):
    try:
        return function(*args)
    except ValueError as error:
        return str(error)


@pytest.mark.parametrize("aggressive", [True, False])
@pytest.mark.parametrize("prices, threshold, text_prices, text_threshold", TWINS)
def test_every_kind_means_its_text(prices, threshold, text_prices, text_threshold, aggressive):
    before = list(prices)
    n = len(text_prices)
    for rules in [(1, 1, n, n), (2, 2, 1, 1), (n - 1, 1, 2, 0)]:
        expected = outcome(plan, text_prices, text_threshold, *rules, aggressive)
        assert outcome(plan, prices, threshold, *rules, aggressive) == expected
    assert list(prices) == before and [type(p) for p in prices] == [type(p) for p in before]


def test_pandas_series():
    pd = pytest.importorskip("pandas")
    prices = pd.Series([0.3, 0.1, -0.2, 0.4], index=[10, 11, 12, 13])  # iterated by value, whatever the index
    assert plan(prices, 0.1, 2, 1, 1, 1) == plan(["0.3", "0.1", "-0.2", "0.4"], "0.1", 2, 1, 1, 1)


def test_a_million_items_are_refused_unread():
    prices = [None] * 10**6
    with pytest.raises(ValueError, match="^prices cannot contain more than 2016 items$"):
        plan(prices, "0", 1, 1)
    assert len(prices) == 10**6 and prices[0] is None and prices[-1] is None


def test_the_series_is_read_after_the_counts():
    # A count's __index__ runs before any item is read: it may shorten the list.
    prices = [None] * 3000

    def shorten():
        prices[:] = ["2", "1"]

    assert plan(prices, "0", Index(2, shorten), 1, 1, 1) == plan(["2", "1"], "0", 2, 1, 1, 1)
