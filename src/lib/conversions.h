// Conversions between Python objects and the engine's types: the checks and
// casts of the call's arguments, the price items, and the result list.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "engine/timing_rules.h"

namespace tariffsieve::py {

// `__qualname__` of the object's type, or "<failed to extract type name>"
// when it cannot be read as a str; null only when no str can be made.
PyRef type_name(PyObject* object);

// Raises TypeError "'<type>' object cannot be cast as '<expected>'".
void raise_cast_error(PyObject* object, const char* expected);

// Wraps a pending exception of exactly the class TypeError as
// "argument '<parameter>': <message>"; any other exception stays as it is.
void argument_extraction_error(const char* parameter);

// True for NumPy's boolean scalar type (numpy.bool_, named numpy.bool in
// NumPy 2); a failed lookup counts as no.
bool is_numpy_bool(PyObject* type);

// Each returns nothing with an exception pending when the object does not
// convert. The text of a str lives as long as the str itself.
std::optional<std::string_view> extract_text(PyObject* object);
std::optional<std::uint64_t> extract_count(PyObject* object);
std::optional<bool> extract_flag(PyObject* object);

// The four counts and `aggressive` of a call, converted in parameter order:
// slots[first_count_slot + i] holds the i-th member of TimingRules (absent:
// 0), slots[aggressive_slot] the flag (absent: True). Nothing, with the
// exception of the first that fails pending (wrapped for its parameter).
struct CallRules {
    TimingRules rules;
    bool aggressive = true;
};
std::optional<CallRules> extract_rules(std::span<PyObject* const> slots, std::span<const char* const> names,
                                       std::size_t first_count_slot, std::size_t aggressive_slot);

// The decimal that text spells; nothing with ValueError "Invalid decimal"
// pending when it spells none (the parser's reason is not shown).
std::optional<Decimal> parse_decimal(std::string_view text);

// Parses every item of a list (read from its storage, in order) as a
// decimal; false with an exception pending at the first item that fails.
bool convert_prices(PyObject* list, std::vector<Decimal>& prices);

// The engine's answer for Python: a new list of int, or null with ValueError
// carrying the engine's message.
PyObject* selection_to_python(const SelectionResult& result);

// A new list of int; aborts if the interpreter cannot make it.
PyRef index_list(std::span<const std::uint64_t> indices);

}  // namespace tariffsieve::py
