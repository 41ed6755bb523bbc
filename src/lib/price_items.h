// plan's reading of prices: a price or threshold of any accepted kind (str,
// int, float, decimal.Decimal, an integer with __index__) becomes a Decimal
// through the same text parser that get_cheapest_periods uses.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decimal/decimal.h"

namespace tariffsieve::py {

// Where a price stands, for messages: a parameter ("low_price_threshold") or
// an item of the prices ("prices[3]").
struct PricePlace {
    const char* parameter;
    std::optional<std::uint64_t> index;  // set for an item of the sequence

    std::string text() const;
};

// What a price object holds: its value, or, when it holds no exact decimal
// (not finite, out of range, text that does not parse), the whole message of
// the ValueError that reports it, beginning "Invalid decimal".
struct PriceReading {
    Decimal value;
    std::string invalid;  // empty when value holds the price

    bool ok() const { return invalid.empty(); }
};

// Reads one price. Returns nothing with an exception pending when the object
// is of no accepted kind (TypeError "'T' object is not a price (...)", an
// item's message led by "prices[i]: ") or when Python code it runs fails.
// `decimal_class` is decimal.Decimal, looked up on first need and kept by the
// caller for the rest of the call.
std::optional<PriceReading> read_price(PyObject* object, const PricePlace& place, PyRef& decimal_class);

// Accepted as plan's prices: a sequence that is not text (str, bytes,
// bytearray). Otherwise raises TypeError "'T' object is not a sequence of
// prices" and returns false.
bool check_price_sequence(PyObject* prices);

// Converts every item of the sequence, in order, refusing more than
// `max_items` (before any item is converted when the sequence has a length).
// False with an exception pending at the first failure. The sequence itself
// is only read.
bool read_price_sequence(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals);

}  // namespace tariffsieve::py
