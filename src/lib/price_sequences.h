// Reading a whole series of prices: get_cheapest_periods' list of str and
// plan's sequence of prices of any accepted kind.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <memory>
#include <string>
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

// plan's prices taken as copies of their UTF-8 texts, to be parsed later by
// a thread that need not hold the GIL. Copies rather than references to the
// strs: the batch then holds no Python object while it plans, so nothing
// another thread does to the list or its strs meanwhile can free what it
// reads (on either build). At 96 prices the copy is some 1 KB, where the
// references and views it replaces took 2.3 KB.
struct PriceTexts {
    std::string bytes;                // the texts one after another
    std::vector<std::uint32_t> ends;  // where each text ends in `bytes`
    std::uint64_t series = 0;         // which copy, unique in its batch (from 1)
};

// A copy shared by the requests whose prices read the same (an aggregator's
// fleet plans every device on one price list), made and dropped by the
// thread that converts; the threads that plan only read it.
using SharedTexts = std::shared_ptr<const PriceTexts>;

// What the converting thread keeps from one request's prices to the next.
struct TextsTaker {
    SharedTexts last;        // the copy taken last
    PyRef items;             // strs known to read as `last`, held (may be empty)
    std::uint64_t made = 0;  // copies made so far
};

// As read_price_sequence, but when the prices are an exact list or tuple of
// str only, sets `texts` to a copy of their texts instead of parsing them:
// the taker's last copy when their texts are the same, else a new one. Any
// other prices are read into decimals, with read_price_sequence's errors,
// and leave `texts` empty.
bool take_price_sequence(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals,
                         TextsTaker& taker, SharedTexts& texts);

// Parses taken texts into decimals, needing no interpreter; false at the
// first text that is no decimal.
bool parse_price_texts(const PriceTexts& texts, std::vector<Decimal>& decimals);

// Raises for texts that parse_price_texts refused the error that
// read_price_sequence raises for the same prices (reading strs made again
// from the copies, with the GIL held, as it reads the originals).
void raise_price_texts_error(const PriceTexts& texts);

}  // namespace tariffsieve::py
