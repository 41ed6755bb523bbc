// Reading a whole series of prices: get_cheapest_periods' list of str and
// plan's sequence of prices of any accepted kind.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <vector>

#include "decimal/decimal.h"

namespace tariffsieve::py {

// Parses every item of a list (or list subclass, read from its storage, not
// through its methods), in order, as decimal text. False with an exception
// pending at the first item that fails: the cast message for an item that is
// not a str, ValueError "Invalid decimal" for text that is no decimal.
bool read_price_list(PyObject* list, std::vector<Decimal>& prices);

// Accepted as plan's prices: a sequence that is not text (str, bytes,
// bytearray). Otherwise raises TypeError "'T' object is not a sequence of
// prices" and returns false.
bool check_price_sequence(PyObject* prices);

// Converts every item of plan's sequence, in order, refusing more than
// `max_items` (before any item is converted when the sequence has a length).
// False with an exception pending at the first failure. The sequence itself
// is only read.
bool read_price_sequence(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals);

}  // namespace tariffsieve::py
