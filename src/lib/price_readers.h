// Reading one of plan's prices or its threshold, of any accepted kind (str,
// int, float, decimal.Decimal, an integer with __index__), as decimal text
// by the one decimal parser.
#pragma once

#include "py_ref.h"

#include <optional>

#include "price_text.h"

namespace tariffsieve::py {

// Reads one of plan's prices. Returns nothing with an exception pending when
// the object is of no accepted kind (TypeError "'T' object is not a price
// (...)", an item's message led by "prices[i]: ") or when Python code it
// runs fails. `decimal_class` is decimal.Decimal, looked up on first need and
// kept by the caller for the rest of the call.
std::optional<PriceReading> read_price(PyObject* object, const PricePlace& place, PyRef& decimal_class);

}  // namespace tariffsieve::py
