// The doc text of get_cheapest_periods. Its first line and the "--" line are
// what the interpreter turns into __text_signature__.
#pragma once

namespace tariffsieve::py {

inline constexpr char function_doc[] =
    "get_cheapest_periods(prices, low_price_threshold, min_selections, min_consecutive_periods, "
    "max_gap_between_periods=0, max_gap_from_start=0, aggressive=True)\n"
    "--\n"
    "\n"
    "Find the cheapest periods in a sequence of prices\n"
    "\n"
    "This algorithm selects periods (indices) from a price sequence to minimize cost\n"
    "while satisfying various timing constraints. The algorithm prioritizes periods\n"
    "with prices at or below the threshold, but still respects all constraints.\n"
    "\n"
    "# Parameters\n"
    "- `prices`: Sequence of prices for each period\n"
    "- `low_price_threshold`: Price threshold below/equal to which periods are preferentially selected\n"
    "- `min_selections`: Desired minimum number of periods to select (will be incremented if no valid solution found)\n"
    "- `min_consecutive_periods`: Minimum consecutive periods required for each consecutive block\n"
    "- `max_gap_between_periods`: Maximum gap allowed between selected periods\n"
    "- `max_gap_from_start`: Maximum gap from start before first selection\n"
    "- `aggressive`: Whether to use aggressive (cost-minimizing) or conservative (cheap-item-maximizing) strategy\n"
    "\n"
    "# Algorithm\n"
    "1. Find cheapest main combination that meets constraints (with adaptive min_selections retry)\n"
    "2. Try adding cheap items to that combination, validating each merge\n"
    "3. Return the cheapest valid combination of main+cheap items\n"
    "\n"
    "# Important Notes\n"
    "- `min_consecutive_periods` is enforced as a minimum for each consecutive block\n"
    "- The algorithm adaptively increases `min_selections` if no valid solution is found\n"
    "\n"
    "# Returns\n"
    "List of indices representing selected periods, sorted by index";

}  // namespace tariffsieve::py
