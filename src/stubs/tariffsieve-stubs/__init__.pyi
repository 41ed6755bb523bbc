# Types of the extension module tariffsieve for mypy, pyright and editors: a
# stub-only package, since a single-file module cannot carry a py.typed marker.
"""Choose the cheapest periods of a price series under timing rules, with exact decimal arithmetic."""

__all__ = ["get_cheapest_periods"]

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
