"""Binding and conversion of the call's arguments, and every failure a
caller can provoke, with its exact class and message."""
import decimal

import numpy as np
import pytest
from tariffsieve import get_cheapest_periods as cheapest

F = "get_cheapest_periods()"
P = ["3", "1", "2"]


def fake_numpy_bool(name, **body):
    return type(name, (), {"__module__": "numpy", **body})()


def interpreters_words(action):
    """The interpreter's own message for a fault it finds, whose wording
    changes between CPython versions."""
    try:
        action()
    except TypeError as error:
        return str(error)
    raise AssertionError("no TypeError")


class Weird(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("no name")
        return super().__getattribute__(name)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, BaseException):
            raise self.value.with_traceback(None)  # no frames piling up over repeated calls
        return self.value


FAILURES = [
    # binding
    ((), {}, TypeError, f"{F} missing 4 required positional arguments: 'prices', 'low_price_threshold', "
     "'min_selections', and 'min_consecutive_periods'"),
    ((P, "1", 1), {}, TypeError, f"{F} missing 1 required positional argument: 'min_consecutive_periods'"),
    ((P, "1"), {}, TypeError, f"{F} missing 2 required positional arguments: 'min_selections' and 'min_consecutive_periods'"),
    ((P,), {"min_selections": 1}, TypeError,
     f"{F} missing 2 required positional arguments: 'low_price_threshold' and 'min_consecutive_periods'"),
    ((P, "1", 1, 1, 0, 0, True, 0), {"price": 1}, TypeError,
     f"{F} takes from 4 to 7 positional arguments but 8 were given"),
    ((P, "1", 1, 1), {"prices": P}, TypeError, f"{F} got multiple values for argument 'prices'"),
    ((P, "1", 1, 1), {"price": P}, TypeError, f"{F} got an unexpected keyword argument 'price'"),
    ((P, "1", 1, 1), {"\udc80": 1}, TypeError, f"{F} got an unexpected keyword argument '\udc80'"),
    # conversions, in parameter order
    ((tuple(P), 1.0, 1, 1), {}, TypeError, "argument 'prices': 'tuple' object cannot be cast as 'list'"),
    (([1], 0.5, 1, 1), {}, TypeError, "argument 'low_price_threshold': 'float' object cannot be cast as 'str'"),
    ((P, "\udc80", 1, 1), {}, UnicodeEncodeError, None),
    ((P, "1", 2.0, 1), {}, TypeError, "argument 'min_selections': 'float' object cannot be interpreted as an integer"),
    ((P, "1", 1, decimal.Decimal(1)), {}, TypeError,
     "argument 'min_consecutive_periods': 'decimal.Decimal' object cannot be interpreted as an integer"),
    ((P, "1", 1, 1, None), {}, TypeError,
     "argument 'max_gap_between_periods': 'NoneType' object cannot be interpreted as an integer"),
    ((P, "1", -1, 1), {}, OverflowError, "can't convert negative int to unsigned"),
    ((P, "1", 1, 1, 0, 2**64), {}, OverflowError, "int too big to convert"),
    ((P, "1", 1, Index(-1)), {}, OverflowError, "can't convert negative int to unsigned"),
    ((P, "1", 1, Index(KeyError("k"))), {}, KeyError, "'k'"),
    ((P, "1", 1, 1), {"aggressive": 1}, TypeError, "argument 'aggressive': 'int' object cannot be cast as 'bool'"),
    ((P, "1", 1, 1), {"aggressive": fake_numpy_bool("bool_")}, TypeError,
     "argument 'aggressive': object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion"),
    ((P, "1", 1, 1), {"aggressive": fake_numpy_bool("bool", __bool__=lambda s: 1 / 0)}, ZeroDivisionError, None),
    ((P, "1", 1, 1), {"aggressive": fake_numpy_bool("bool", __bool__=lambda s: 1)}, TypeError,
     "argument 'aggressive': " + interpreters_words(lambda: bool(fake_numpy_bool("bool", __bool__=lambda s: 1)))),
    ((P, "1", 1, 1), {"aggressive": fake_numpy_bool("int_", __bool__=lambda s: True)}, TypeError,
     "argument 'aggressive': 'int_' object cannot be cast as 'bool'"),
    # price items: after every argument, without the argument prefix
    ((["1", 2], "1", 1, 1), {}, TypeError, "'int' object cannot be cast as 'str'"),
    ((["1", decimal.Decimal(2)], "1", 1, 1), {}, TypeError, "'Decimal' object cannot be cast as 'str'"),
    ((["1", Weird("W", (), {})()], "1", 1, 1), {}, TypeError, "'<failed to extract type name>' object cannot be cast as 'str'"),
    ((["1", "x", 3], "1", 1, 1), {}, ValueError, "Invalid decimal"),
    ((["1", 3, "x"], "1", 1, 1), {}, TypeError, "'int' object cannot be cast as 'str'"),
    ((["1", "\udc80"], "1", 1, 1), {}, UnicodeEncodeError, None),
    ((["1"] * 40 + ["x"], "1", 1, 1), {}, ValueError, "Invalid decimal"),
    ((["1", 1], "abc", 0, 5, 1, 2), {}, TypeError, "'int' object cannot be cast as 'str'"),
    # the request rules, in their order
    (([], "abc", 0, 1), {}, ValueError, "Invalid decimal"),
    (([], "1", 0, 1), {}, ValueError, "prices cannot be empty"),
    ((["1"] * 29, "1", 1, 1), {}, ValueError, "prices cannot contain more than 28 items"),
    ((P, "1", 0, 1), {}, ValueError, "min_selections must be greater than 0"),
    ((P, "1", 2**64 - 1, 1), {}, ValueError, "min_selections cannot be greater than total number of items"),
    ((P, "1", 2, 0), {}, ValueError, "min_consecutive_periods must be greater than 0"),
    ((P, "1", 2, 3), {}, ValueError, "min_consecutive_periods cannot be greater than min_selections"),
    ((P, "1", 2, 1, 1, 2), {}, ValueError, "max_gap_from_start must be less than or equal to max_gap_between_periods"),
]


def fails_with(function, args, kwargs, error, message):
    """The call raises exactly the class error (no subclass), with message
    unless that is None (the interpreter's own wording)."""
    with pytest.raises(BaseException) as caught:
        function(*args, **kwargs)
    assert type(caught.value) is error
    if message is not None:
        assert str(caught.value) == message


@pytest.mark.parametrize("args, kwargs, error, message", FAILURES)
def test_failures(args, kwargs, error, message):
    fails_with(cheapest, args, kwargs, error, message)


def test_wrapped_type_error_keeps_the_cause_and_subclasses_pass():
    outer = TypeError("outer")
    outer.__cause__ = ValueError("inner")
    with pytest.raises(TypeError) as caught:
        cheapest(P, "1", Index(outer), 1)
    assert str(caught.value) == "argument 'min_selections': outer"
    assert caught.value is not outer and caught.value.__cause__ is outer.__cause__

    class Sub(TypeError):
        pass

    with pytest.raises(Sub, match="^own$"):
        cheapest(P, "1", Index(Sub("own")), 1)


class Prices(list):
    def __iter__(self):
        raise AssertionError("the storage is read, not the iterator")

    __getitem__ = __len__ = __iter__


class Text(str):
    def __str__(self):
        raise AssertionError("the text is read directly")


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((["5", "1", "1", "9", "1"], "1", 2, 1, 4, 4), {}, [1, 2]),
        ((), dict(aggressive=True, max_gap_from_start=4, max_gap_between_periods=4, min_consecutive_periods=1,
                  min_selections=2, low_price_threshold="1", prices=["5", "1", "1", "9", "1"]), [1, 2]),
        ((["5", "1", "1", "9", "1"], "1"), dict(min_consecutive_periods=1, min_selections=2, max_gap_between_periods=4,
                                               max_gap_from_start=4), [1, 2]),
        ((Prices(["5", "1", "1", "9", "1"]), Text("1"), True, Index(1), np.int64(4), Index(4), np.True_), {}, [1]),
        (([Text("5"), "1", "1", "9", "1"], "1", 2, 1, 4, 4, np.bool_(False)), {}, [1, 2, 4]),
        ((["2", "1"], "0", 1, 1), {}, [0, 1]),  # both gap limits default to 0
        ((["1", "2", "3"], "1", 2, 1, 2**64 - 1, 2**64 - 1), {}, [0, 1]),
    ],
)
def test_accepted_arguments(args, kwargs, expected):
    result = cheapest(*args, **kwargs)
    assert result == expected
    assert type(result) is list and all(type(i) is int for i in result)


def test_counts_converted_before_prices_are_read():
    prices = [str(n) for n in range(20, 28)]

    def replace():
        prices[:] = ["5", "1"]
        return 1

    assert cheapest(prices, "0", Index(1), type("I", (), {"__index__": lambda s: replace()})(), 1, 1) == [1]
    prices = ["5", "1"]
    spoil = type("I", (), {"__index__": lambda s: prices.append(7) or 1})()
    with pytest.raises(TypeError, match="^'int' object cannot be cast as 'str'$"):
        cheapest(prices, "0", 1, spoil, 1, 1)
