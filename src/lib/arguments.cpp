// Conversions of the scalar arguments: text, unsigned counts, booleans
// including NumPy's.
#include "arguments.h"

#include "api_access.h"
#include "call_guard.h"
#include "type_errors.h"

namespace tariffsieve::py {
namespace {

// True when the attribute `name` of `object` is a str equal to `text`.
// Lookup failures count as "no".
bool attribute_equals(PyObject* object, const char* name, const char* text) {
    PyRef value = PyRef::steal(PyObject_GetAttrString(object, name));
    if (!value) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_Check(value.get()) && PyUnicode_CompareWithASCIIString(value.get(), text) == 0;
}

}  // namespace

bool is_numpy_bool(PyObject* type) {
    return attribute_equals(type, "__module__", "numpy") &&
           (attribute_equals(type, "__name__", "bool_") || attribute_equals(type, "__name__", "bool"));
}

std::optional<std::string_view> extract_text(PyObject* object) {
    if (!PyUnicode_Check(object)) {
        raise_cast_error(object, "str");
        return std::nullopt;
    }
    return utf8_text(object);
}

std::optional<std::uint64_t> extract_count(PyObject* object) {
    PyRef index;
    if (!PyLong_Check(object)) {
        index = PyRef::steal(PyNumber_Index(object));
        if (!index) {
            return std::nullopt;
        }
        object = index.get();
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(object);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        return std::nullopt;  // 2^64 - 1 itself is a valid count
    }
    return static_cast<std::uint64_t>(value);
}

std::optional<bool> extract_flag(PyObject* object) {
    if (Py_IS_TYPE(object, &PyBool_Type)) {
        return object == Py_True;
    }
    PyRef type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    if (!is_numpy_bool(type.get())) {
        raise_cast_error(object, "bool");
        return std::nullopt;
    }
    const inquiry to_bool = bool_slot(Py_TYPE(object));
    if (to_bool == nullptr) {
        PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion", type.get());
        return std::nullopt;
    }
    switch (to_bool(object)) {
    case 0:
        return false;
    case 1:
        return true;
    default:
        ensure_error_set();
        return std::nullopt;
    }
}

std::optional<CallRules> extract_rules(std::span<PyObject* const> slots, std::span<const char* const> names,
                                       std::size_t first_count_slot, std::size_t aggressive_slot) {
    std::uint64_t counts[4] = {};  // absent counts are 0
    for (std::size_t i = 0; i < 4; ++i) {
        PyObject* argument = slots[first_count_slot + i];
        if (argument == nullptr) {
            continue;
        }
        const std::optional<std::uint64_t> count = extract_count(argument);
        if (!count) {
            argument_extraction_error(names[first_count_slot + i]);
            return std::nullopt;
        }
        counts[i] = *count;
    }
    CallRules converted{.rules = {.min_selections = counts[0],
                                  .min_consecutive_periods = counts[1],
                                  .max_gap_between_periods = counts[2],
                                  .max_gap_from_start = counts[3]}};
    if (slots[aggressive_slot] != nullptr) {
        const std::optional<bool> flag = extract_flag(slots[aggressive_slot]);
        if (!flag) {
            argument_extraction_error(names[aggressive_slot]);
            return std::nullopt;
        }
        converted.aggressive = *flag;
    }
    return converted;
}

}  // namespace tariffsieve::py
