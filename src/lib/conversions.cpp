// Argument conversions (str, unsigned counts, booleans including NumPy's),
// the cast error message, the "argument '...'" wrap, the price items and the
// result list.
#include "conversions.h"

#include "call_guard.h"

namespace tariffsieve::py {
namespace {

constexpr const char unknown_type_name[] = "<failed to extract type name>";

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

PyRef type_name(PyObject* object) {
    // The type is held: reading __qualname__ may run a metaclass's Python code.
    PyRef type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    PyRef name = PyRef::steal(PyObject_GetAttrString(type.get(), "__qualname__"));
    if (name && PyUnicode_Check(name.get())) {
        return name;
    }
    PyErr_Clear();
    return PyRef::steal(PyUnicode_FromString(unknown_type_name));
}

void raise_cast_error(PyObject* object, const char* expected) {
    PyRef name = type_name(object);
    if (name) {
        PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", name.get(), expected);
    }
}

void argument_extraction_error(const char* parameter) {
    const std::optional<PendingError> error = take_pending_error(PyExc_TypeError);
    if (!error) {
        return;
    }
    PyObject* value = error->value.get();
    PyRef text = PyRef::steal(PyObject_Str(value));
    if (!text) {
        PyErr_Clear();
        text = PyRef::steal(PyUnicode_FromString("<exception str() failed>"));
        if (!text) {
            return;
        }
    }
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", parameter, text.get()));
    if (!message) {
        return;
    }
    PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) {
        return;
    }
    PyException_SetCause(replacement.get(), PyException_GetCause(value));  // steals the cause
    PyErr_SetObject(PyExc_TypeError, replacement.get());
}

std::optional<std::string_view> extract_text(PyObject* object) {
    if (!PyUnicode_Check(object)) {
        raise_cast_error(object, "str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string_view(text, static_cast<std::size_t>(size));
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
    PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
        PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion", type.get());
        return std::nullopt;
    }
    switch (number->nb_bool(object)) {
    case 0:
        return false;
    case 1:
        return true;
    default:
        ensure_error_set();
        return std::nullopt;
    }
}

bool convert_prices(PyObject* list, std::vector<Decimal>& prices) {
    // Nothing in this loop runs Python code until an item fails, so the
    // list cannot change under it and its borrowed items stay alive.
    prices.reserve(static_cast<std::size_t>(PyList_GET_SIZE(list)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        PyObject* item = PyList_GET_ITEM(list, i);
        if (!PyUnicode_Check(item)) {
            raise_cast_error(item, "str");
            return false;
        }
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(item, &size);
        if (text == nullptr) {
            return false;
        }
        const std::optional<Decimal> price = parse_decimal(std::string_view(text, static_cast<std::size_t>(size)));
        if (!price) {
            return false;
        }
        prices.push_back(*price);
    }
    return true;
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

std::optional<Decimal> parse_decimal(std::string_view text) {
    const ParseResult parsed = from_str(text);
    if (!parsed.ok()) {
        PyErr_SetString(PyExc_ValueError, "Invalid decimal");
        return std::nullopt;
    }
    return parsed.value;
}

PyObject* selection_to_python(const SelectionResult& result) {
    if (!result.ok()) {
        PyErr_SetString(PyExc_ValueError, result.error.c_str());
        return nullptr;
    }
    return index_list(result.indices).release();
}

PyRef index_list(std::span<const std::uint64_t> indices) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(indices.size())));
    if (!list) {
        abort_on_api_failure();
    }
    for (std::size_t i = 0; i < indices.size(); ++i) {
        PyObject* number = PyLong_FromUnsignedLongLong(indices[i]);
        if (number == nullptr) {
            abort_on_api_failure();
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), number);
    }
    return list;
}

}  // namespace tariffsieve::py
