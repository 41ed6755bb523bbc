"""Aborted computations reach the caller as PanicException."""
import importlib
import re

import pytest
from tariffsieve import get_cheapest_periods as cheapest

OVERFLOWING = ["79228162514264337593543950335", "1", "5"]
DOC_END = (
    "\n\nLike SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n"
)


def panic(aggressive=True):
    try:
        cheapest(OVERFLOWING, "0", 1, 1, 1, 1, aggressive)
    except Exception:  # must not catch it
        pytest.fail("PanicException was caught as an Exception")
    except BaseException as e:
        return e
    pytest.fail("no abort")


@pytest.mark.parametrize("aggressive", [True, False])
def test_overflow_raises_panic_exception(aggressive, capsys):
    error = panic(aggressive)
    kind = type(error)
    assert (kind.__module__, kind.__name__, kind.__bases__) == ("pyo3_runtime", "PanicException", (BaseException,))
    assert str(error) == "Addition overflowed" and error.args == ("Addition overflowed",)
    assert kind.__doc__.startswith("\n") and kind.__doc__.endswith(DOC_END)
    assert kind.__doc__.count("\n\n") == 1
    assert kind is type(panic())
    # The diagnostic names the thread, where the abort was thrown and its message.
    diagnostic = capsys.readouterr().err
    assert re.search(r"thread \d+ aborted in get_cheapest_periods at src/decimal/add\.cpp:\d+: Addition overflowed", diagnostic)


def test_panic_class_is_not_published():
    import tariffsieve

    assert type(panic()) not in vars(tariffsieve).values()
    with pytest.raises(ImportError):
        importlib.import_module("pyo3_runtime")


def test_panic_coming_back_through_index_is_raised_afresh(capsys):
    earlier = panic()
    capsys.readouterr()

    class Resurfacing:
        def __init__(self, error):
            self.error = error

        def __index__(self):
            raise self.error

    try:
        cheapest(["1", "2"], "1", Resurfacing(earlier), 1)
    except BaseException as e:
        error = e
    assert type(error) is type(earlier) and error is not earlier
    assert error.args == ("Addition overflowed",)
    err = capsys.readouterr().err
    assert "came back through Python code" in err
    assert "in __index__" in err and err.endswith("PanicException: Addition overflowed\n")
    # a subclass is an ordinary exception and passes unchanged
    sub = type("Sub", (type(earlier),), {})("mine")
    with pytest.raises(type(sub)) as caught:
        cheapest(["1", "2"], "1", 1, Resurfacing(sub))
    assert caught.value is sub


def test_failing_result_list_aborts(run_fresh):
    out = run_fresh(
        """
        try:
            from _testcapi import set_nomemory, remove_mem_hooks
        except ImportError:
            print("skip"); raise SystemExit
        import sys
        from tariffsieve import get_cheapest_periods as cheapest
        prices = ["2", "1"]
        set_nomemory(0, 1)  # only the next allocation fails: the result list's
        try:
            cheapest(prices, "1", 1, 1, 1, 1)
        except BaseException as e:
            error = e
        remove_mem_hooks()
        print(type(error).__name__, error)
        """
    )
    if out == "skip\n":
        pytest.skip("needs _testcapi.set_nomemory")
    assert out == "PanicException Python API call failed\n"
