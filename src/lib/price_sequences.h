// Reading a whole series of prices: get_cheapest_periods' list of str and
// plan's sequence of prices of any accepted kind.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <string_view>
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

// plan's prices taken as UTF-8 texts, to be parsed later by a thread that
// need not hold the GIL. `items` owns every price (a str), and with it the
// text that each view points into.
struct PriceTexts {
    PyRef items;
    std::vector<std::string_view> texts;
};

// As read_price_sequence, but when the prices are an exact list or tuple of
// str only, takes their texts (setting texts.items) instead of parsing them.
// Any other prices are read into decimals, with read_price_sequence's errors.
bool take_price_sequence(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals,
                         PriceTexts& texts);

// Parses taken texts into decimals, needing no interpreter; false at the
// first text that is no decimal.
bool parse_price_texts(const PriceTexts& texts, std::vector<Decimal>& decimals);

// Raises for texts that parse_price_texts refused the error that
// read_price_sequence raises for the same prices (reading them again, with
// the GIL held, as it reads them).
void raise_price_texts_error(const PriceTexts& texts);

}  // namespace tariffsieve::py
