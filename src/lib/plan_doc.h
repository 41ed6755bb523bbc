// The doc text of plan. Its first line and the "--" line are what the
// interpreter turns into __text_signature__; the stub repeats the rest.
#pragma once

#include "engine/plan.h"

namespace tariffsieve::py {

static_assert(max_plan_periods == 2016, "plan's doc text states the longest series it takes: update it");

inline constexpr char plan_doc[] =
    "plan(prices, low_price_threshold, min_selections, min_consecutive_periods, "
    "max_gap_between_periods=0, max_gap_from_start=0, aggressive=True)\n"
    "--\n"
    "\n"
    "Find the cheapest periods in a long sequence of prices\n"
    "\n"
    "The same rules and the same answers as get_cheapest_periods, for series of up to\n"
    "2016 periods: quarter-hour days (96 prices, 92 or 100 on clock-change days), today\n"
    "plus tomorrow (192), five-minute slots (288 a day) or several days ahead. For every\n"
    "request that get_cheapest_periods answers, plan returns the same list. Its search\n"
    "takes time polynomial in the length, and other Python threads keep running while\n"
    "it works.\n"
    "\n"
    "# Parameters\n"
    "- `prices`: Sequence of prices for each period: a list, tuple, NumPy array or pandas\n"
    "  Series (not a str or bytes). Each price is a str in decimal notation (\"-1_000.25\"),\n"
    "  an int, a NumPy integer, a decimal.Decimal or a float; a float means the digits its\n"
    "  repr shows, so 0.1 is exactly 0.1. More than 28 decimals are rounded.\n"
    "- `low_price_threshold`: Price threshold below/equal to which periods are preferentially\n"
    "  selected, of any kind a price may be\n"
    "- `min_selections`: Desired minimum number of periods to select (will be incremented if no valid solution found)\n"
    "- `min_consecutive_periods`: Minimum consecutive periods required for each consecutive block\n"
    "- `max_gap_between_periods`: Maximum gap allowed between selected periods\n"
    "- `max_gap_from_start`: Maximum gap from start before first selection\n"
    "- `aggressive`: Whether to use aggressive (cost-minimizing) or conservative (cheap-item-maximizing) strategy\n"
    "\n"
    "# Returns\n"
    "List of indices representing selected periods, sorted by index\n"
    "\n"
    "# Raises\n"
    "- `TypeError`: an argument of the wrong kind; a price that is not a str, int, float\n"
    "  or decimal.Decimal (the message names its position)\n"
    "- `ValueError`: a price or threshold that is not a finite decimal number below 2^96 in\n"
    "  magnitude (the message begins \"Invalid decimal\" and names it); more than 2016\n"
    "  prices; a broken request rule or no valid selection, with the messages of\n"
    "  get_cheapest_periods; prices whose sums leave the range of exact decimals\n"
    "- `OverflowError`: a count that is negative or not below 2^64";

}  // namespace tariffsieve::py
