"""Python code that the hostile-input and thread tests run inside a call:
an __index__ that may act first, and a PanicException from an earlier abort."""
from tariffsieve import get_cheapest_periods as cheapest

OVERFLOWING = ["79228162514264337593543950335", "1", "5"]


def earlier_panic():
    try:
        cheapest(OVERFLOWING, "0", 1, 1, 1, 1)
    except BaseException as error:  # PanicException derives from BaseException
        return error
    raise AssertionError("no abort")


class Index:
    """An __index__ that runs Python code inside the call: it may yield the
    GIL, raise, or change the request's own price list."""

    def __init__(self, value, action=None):
        self.value, self.action = value, action

    def __index__(self):
        if self.action is not None:
            self.action()
        if isinstance(self.value, BaseException):
            raise self.value.with_traceback(None)
        return self.value
