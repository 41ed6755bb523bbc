// The doc text of plan_totals. Its first line and the "--" line are what the
// interpreter turns into __text_signature__; the stub repeats the rest.
#pragma once

namespace tariffsieve::py {

inline constexpr char plan_totals_doc[] =
    "plan_totals(prices, low_price_threshold, min_selections, min_consecutive_periods, "
    "max_gap_between_periods=0, max_gap_from_start=0, aggressive=True)\n"
    "--\n"
    "\n"
    "Find the cheapest periods as plan does, with the totals and averages of their prices\n"
    "\n"
    "Takes the arguments plan takes, chooses the periods plan chooses and refuses what\n"
    "plan refuses, with the same errors. The chosen prices are added and averaged by the\n"
    "exact decimal arithmetic that plan's search compares selections with, so that no\n"
    "caller needs to sum or round them again. Other Python threads keep running while it\n"
    "works.\n"
    "\n"
    "# Parameters\n"
    "Those of plan.\n"
    "\n"
    "# Returns\n"
    "A tuple `(indices, total, average, runs)`:\n"
    "- `indices`: the list plan returns, the selected periods sorted by index\n"
    "- `total`: the sum of their prices, added from zero in index order\n"
    "- `average`: `total` divided by the number of selected periods; None when none is\n"
    "  selected\n"
    "- `runs`: one tuple `(first, last, total, average)` for each run of consecutive\n"
    "  selected periods, in index order, `first` and `last` included, with the total and\n"
    "  average of the run's own prices\n"
    "\n"
    "Each total and average is a str in plain decimal notation, never with an exponent,\n"
    "that decimal.Decimal reads exactly: \"0.47624\", \"-1.5\", \"0\". A total keeps the\n"
    "decimals of the prices it adds (\"0.10\" and \"0.20\" make \"0.30\"); it is exact unless\n"
    "a sum on the way needs 2^96 or more units of that scale, when it is rounded half\n"
    "to even to fewer decimals, as plan's own sums are. An average is rounded half to\n"
    "even to as many decimals (at most 28) as keep its digits below 2^96; an exact one\n"
    "keeps at least the total's decimals (\"0.30\" over 3 periods is \"0.10\").\n"
    "\n"
    "# Raises\n"
    "What plan raises for the same arguments (a message about the call itself names\n"
    "plan_totals), and a `ValueError` that begins \"Addition overflowed\" when a total of\n"
    "the selected prices leaves the range of exact decimals";

}  // namespace tariffsieve::py
