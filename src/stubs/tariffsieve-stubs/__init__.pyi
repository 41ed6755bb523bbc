# Types of the extension module tariffsieve for mypy, pyright and editors: a
# stub-only package, since a single-file module cannot carry a py.typed marker.
"""Choose the cheapest periods of a price series under timing rules, with exact decimal arithmetic."""

from collections.abc import Iterable, Sequence
from decimal import Decimal

__all__ = ["get_cheapest_periods", "plan", "plan_many", "plan_totals"]

# The package version the module was built as (pyproject.toml's).
__version__: str

# What plan takes as one price or as the threshold.
_Price = str | int | float | Decimal
# One request of plan_many: plan's arguments in plan's order, the defaulted ones optional.
_Request = (
    tuple[Sequence[_Price], _Price, int, int]
    | tuple[Sequence[_Price], _Price, int, int, int]
    | tuple[Sequence[_Price], _Price, int, int, int, int]
    | tuple[Sequence[_Price], _Price, int, int, int, int, bool]
)

def get_cheapest_periods(
    prices: list[str],
    low_price_threshold: str,
    min_selections: int,
    min_consecutive_periods: int,
    max_gap_between_periods: int = 0,
    max_gap_from_start: int = 0,
    aggressive: bool = True,
) -> list[int]:
    """Find the cheapest periods in a sequence of prices

    This algorithm selects periods (indices) from a price sequence to minimize cost
    while satisfying various timing constraints. The algorithm prioritizes periods
    with prices at or below the threshold, but still respects all constraints.

    # Parameters
    - `prices`: Sequence of prices for each period
    - `low_price_threshold`: Price threshold below/equal to which periods are preferentially selected
    - `min_selections`: Desired minimum number of periods to select (will be incremented if no valid solution found)
    - `min_consecutive_periods`: Minimum consecutive periods required for each consecutive block
    - `max_gap_between_periods`: Maximum gap allowed between selected periods
    - `max_gap_from_start`: Maximum gap from start before first selection
    - `aggressive`: Whether to use aggressive (cost-minimizing) or conservative (cheap-item-maximizing) strategy

    # Algorithm
    1. Find cheapest main combination that meets constraints (with adaptive min_selections retry)
    2. Try adding cheap items to that combination, validating each merge
    3. Return the cheapest valid combination of main+cheap items

    # Important Notes
    - `min_consecutive_periods` is enforced as a minimum for each consecutive block
    - The algorithm adaptively increases `min_selections` if no valid solution is found

    # Returns
    List of indices representing selected periods, sorted by index
    """

def plan(
    prices: Sequence[_Price],
    low_price_threshold: _Price,
    min_selections: int,
    min_consecutive_periods: int,
    max_gap_between_periods: int = 0,
    max_gap_from_start: int = 0,
    aggressive: bool = True,
) -> list[int]:
    """Find the cheapest periods in a long sequence of prices

    The same rules and the same answers as get_cheapest_periods, for series of up to
    2016 periods: quarter-hour days (96 prices, 92 or 100 on clock-change days), today
    plus tomorrow (192), five-minute slots (288 a day) or several days ahead. For every
    request that get_cheapest_periods answers, plan returns the same list. Its search
    takes time polynomial in the length, and other Python threads keep running while
    it works.

    # Parameters
    - `prices`: Sequence of prices for each period: a list, tuple, NumPy array or pandas
      Series (not a str or bytes). Each price is a str in decimal notation ("-1_000.25"),
      an int, a NumPy integer, a decimal.Decimal or a float; a float means the digits its
      repr shows, so 0.1 is exactly 0.1. More than 28 decimals are rounded.
    - `low_price_threshold`: Price threshold below/equal to which periods are preferentially
      selected, of any kind a price may be
    - `min_selections`: Desired minimum number of periods to select (will be incremented if no valid solution found)
    - `min_consecutive_periods`: Minimum consecutive periods required for each consecutive block
    - `max_gap_between_periods`: Maximum gap allowed between selected periods
    - `max_gap_from_start`: Maximum gap from start before first selection
    - `aggressive`: Whether to use aggressive (cost-minimizing) or conservative (cheap-item-maximizing) strategy

    # Returns
    List of indices representing selected periods, sorted by index

    # Raises
    - `TypeError`: an argument of the wrong kind; a price that is not a str, int, float
      or decimal.Decimal (the message names its position)
    - `ValueError`: a price or threshold that is not a finite decimal number below 2^96 in
      magnitude (the message begins "Invalid decimal" and names it); more than 2016
      prices; a broken request rule or no valid selection, with the messages of
      get_cheapest_periods; prices whose sums leave the range of exact decimals
    - `OverflowError`: a count that is negative or not below 2^64
    """

def plan_many(requests: Iterable[_Request], threads: int | None = None) -> list[list[int] | BaseException]:
    """Plan many requests at once, on several cores

    Each request is a tuple of plan's arguments in plan's order, from prices to
    aggressive; the ones with defaults may be left out. The requests are converted
    one after another with the GIL held, then planned on a pool of native threads
    with the GIL released once for all of them.

    # Parameters
    - `requests`: Iterable of tuples of plan's arguments
    - `threads`: How many threads plan them, the calling one included; None for one
      per core

    # Returns
    A list in request order: for each request the list plan returns for it, or the
    exception plan would raise for it (not raised). One request's error never affects
    another's answer.

    # Raises
    - `TypeError`: `requests` is not iterable; `threads` is not an int or None
    - `ValueError`: `threads` is 0
    - `OverflowError`: `threads` is negative
    """

def plan_totals(
    prices: Sequence[_Price],
    low_price_threshold: _Price,
    min_selections: int,
    min_consecutive_periods: int,
    max_gap_between_periods: int = 0,
    max_gap_from_start: int = 0,
    aggressive: bool = True,
) -> tuple[list[int], str, str | None, list[tuple[int, int, str, str]]]:
    """Find the cheapest periods as plan does, with the totals and averages of their prices

    Takes the arguments plan takes, chooses the periods plan chooses and refuses what
    plan refuses, with the same errors. The chosen prices are added and averaged by the
    exact decimal arithmetic that plan's search compares selections with, so that no
    caller needs to sum or round them again. Other Python threads keep running while it
    works.

    # Parameters
    Those of plan.

    # Returns
    A tuple `(indices, total, average, runs)`:
    - `indices`: the list plan returns, the selected periods sorted by index
    - `total`: the sum of their prices, added from zero in index order
    - `average`: `total` divided by the number of selected periods; None when none is
      selected
    - `runs`: one tuple `(first, last, total, average)` for each run of consecutive
      selected periods, in index order, `first` and `last` included, with the total and
      average of the run's own prices

    Each total and average is a str in plain decimal notation, never with an exponent,
    that decimal.Decimal reads exactly: "0.47624", "-1.5", "0". A total keeps the
    decimals of the prices it adds ("0.10" and "0.20" make "0.30"); it is exact unless
    a sum on the way needs 2^96 or more units of that scale, when it is rounded half
    to even to fewer decimals, as plan's own sums are. An average is rounded half to
    even to as many decimals (at most 28) as keep its digits below 2^96; an exact one
    keeps at least the total's decimals ("0.30" over 3 periods is "0.10").

    # Raises
    What plan raises for the same arguments (a message about the call itself names
    plan_totals), and a `ValueError` that begins "Addition overflowed" when a total of
    the selected prices leaves the range of exact decimals
    """
