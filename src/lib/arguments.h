// The scalar arguments of a call: a str's UTF-8 text, the unsigned counts and
// the `aggressive` flag (NumPy's booleans included).
#pragma once

#include "py_ref.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "engine/timing_rules.h"

namespace tariffsieve::py {

// The UTF-8 text of a str (or str subclass, read directly), living as long
// as the str itself; nothing with the interpreter's exception pending
// (UnicodeEncodeError for lone surrogates). Inline: it is fetched for every
// price of get_cheapest_periods.
inline std::optional<std::string_view> utf8_text(PyObject* text) {
#ifndef Py_LIMITED_API
    // An ASCII str, every price in practice, is its own UTF-8 text, stored
    // after its header: read in place by the macros, this spares a call of
    // some 25 instructions a price.
    if (PyUnicode_IS_COMPACT_ASCII(text)) {
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(text)),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(text)));
    }
#endif
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

// True for NumPy's boolean scalar type (numpy.bool_, named numpy.bool in
// NumPy 2); a failed lookup counts as no.
bool is_numpy_bool(PyObject* type);

// Each returns nothing with an exception pending when the object does not
// convert.
std::optional<std::string_view> extract_text(PyObject* object);  // a str, else the cast message
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

}  // namespace tariffsieve::py
