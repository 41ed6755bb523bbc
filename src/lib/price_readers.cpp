// Reading one of plan's prices: every accepted kind is turned into plain
// decimal text and handed to the one decimal parser, so that a float, an int
// or a decimal.Decimal means exactly what the same digits written as text mean.
#include "price_readers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "api_access.h"
#include "arguments.h"
#include "type_errors.h"

namespace tariffsieve::py {
namespace {

constexpr const char not_a_price[] = "object is not a price (str, int, float or decimal.Decimal)";
// Texts are shown in messages up to this many characters.
constexpr Py_ssize_t shown_text_length = 40;
// Integers up to this many bits are shown with their digits, larger ones by
// their size (their decimal text would be long and slow to make).
constexpr unsigned long long shown_int_bits = 256;

void raise_not_a_price(PyObject* object, const PricePlace& place) {
    PyRef name = type_name(object);
    if (!name) {
        return;
    }
    if (place.index) {
        PyErr_Format(PyExc_TypeError, "%s: '%U' %s", place.text().c_str(), name.get(), not_a_price);
    } else {
        PyErr_Format(PyExc_TypeError, "'%U' %s", name.get(), not_a_price);  // the caller adds the argument's name
    }
}

// repr of the text's first characters, "..." marking a cut.
std::optional<std::string> shown_text(PyObject* text) {
    const Py_ssize_t length = PyUnicode_GetLength(text);
    if (length < 0) {
        return std::nullopt;
    }
    // An exact str either way, whose repr runs no code of a subclass.
    PyRef head = PyRef::steal(PyUnicode_Substring(text, 0, std::min(length, shown_text_length)));
    PyRef repr = head ? PyRef::steal(PyObject_Repr(head.get())) : PyRef();
    const auto repr_text = repr ? utf8_text(repr.get()) : std::nullopt;
    if (!repr_text) {
        return std::nullopt;
    }
    std::string shown(*repr_text);
    if (length > shown_text_length) {
        shown += "...";
    }
    return shown;
}

std::optional<PriceReading> read_text(PyObject* text, const PricePlace& place) {
    const auto bytes = utf8_text(text);
    if (!bytes) {
        return std::nullopt;
    }
    const PriceReading reading = parse_price_text(*bytes);
    if (reading.ok()) {
        return reading;
    }
    const auto shown = shown_text(text);
    if (!shown) {
        return std::nullopt;
    }
    return invalid_price(place, *shown, parser_reason(reading.invalid));
}

std::optional<PriceReading> read_float(PyObject* number, const PricePlace& place) {
    const double value = float_value(number);
    // float.__repr__'s digits, also for a subclass that shows itself otherwise.
    char* repr = PyOS_double_to_string(value, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (repr == nullptr) {
        return std::nullopt;
    }
    const std::string shown(repr);
    PyMem_Free(repr);
    if (!std::isfinite(value)) {
        return invalid_price(place, shown, not_finite_reason);
    }
    // The text made here is well formed: a failed parse can only be the range.
    return parse_price(plain_float_text(shown), place, shown, out_of_range_reason);
}

// An int (or int subclass, read by its value); at least 2^96 in magnitude is
// out of range.
std::optional<PriceReading> read_int(PyObject* integer, const PricePlace& place) {
    int overflow = 0;
    const long long small = PyLong_AsLongLongAndOverflow(integer, &overflow);
    if (small == -1 && PyErr_Occurred() != nullptr) {
        return std::nullopt;
    }
    if (overflow == 0) {
        char buffer[24];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, small);
        const std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
        return parse_price(text, place, text, out_of_range_reason);
    }
    PyRef bits = PyRef::steal(
        PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyLong_Type), "bit_length", "(O)", integer));
    if (!bits) {
        return std::nullopt;
    }
    const unsigned long long bit_count = PyLong_AsUnsignedLongLong(bits.get());
    if (PyErr_Occurred() != nullptr) {
        return std::nullopt;
    }
    if (bit_count > shown_int_bits) {
        return invalid_price(place, int_size_text(bit_count), out_of_range_reason);
    }
    // int's own decimal text, whatever a subclass's __repr__ says.
    PyRef digits = PyRef::steal(int_repr(integer));
    const auto text = digits ? utf8_text(digits.get()) : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    if (bit_count > 96) {
        return invalid_price(place, *text, out_of_range_reason);
    }
    return parse_price(*text, place, *text, out_of_range_reason);
}

// decimal.Decimal.__repr__ of the number, for messages.
std::optional<std::string> shown_decimal(PyObject* number, PyObject* decimal_class) {
    PyRef repr = PyRef::steal(PyObject_CallMethod(decimal_class, "__repr__", "(O)", number));
    if (!repr || !PyUnicode_Check(repr.get())) {
        if (repr) {
            PyErr_SetString(PyExc_TypeError, "decimal.Decimal.__repr__ did not return a str");
        }
        return std::nullopt;
    }
    const auto text = utf8_text(repr.get());
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

// The digits of a decimal.Decimal's as_tuple, as text.
std::optional<std::string> tuple_digits(PyObject* digit_objects) {
    const Py_ssize_t count = tuple_size(digit_objects);
    std::string digits;
    digits.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        const long digit = PyLong_AsLong(tuple_item(digit_objects, i));
        if (PyErr_Occurred() != nullptr) {
            return std::nullopt;
        }
        digits += static_cast<char>('0' + digit % 10);
    }
    return digits;
}

// A decimal.Decimal, read through the class's own as_tuple (sign, digits,
// exponent), so that exponent forms mean their value.
std::optional<PriceReading> read_decimal(PyObject* number, PyObject* decimal_class, const PricePlace& place) {
    PyRef parts = PyRef::steal(PyObject_CallMethod(decimal_class, "as_tuple", "(O)", number));
    if (!parts) {
        return std::nullopt;
    }
    if (!PyTuple_Check(parts.get()) || tuple_size(parts.get()) != 3 ||
        !PyTuple_Check(tuple_item(parts.get(), 1))) {
        PyErr_SetString(PyExc_TypeError, "decimal.Decimal.as_tuple did not return (sign, digits, exponent)");
        return std::nullopt;
    }
    PyObject* exponent_object = tuple_item(parts.get(), 2);
    const bool finite = !PyUnicode_Check(exponent_object);  // else 'n', 'N' or 'F': a NaN or an infinity
    const long long exponent = finite ? PyLong_AsLongLong(exponent_object) : 0;
    const long sign = PyLong_AsLong(tuple_item(parts.get(), 0));
    const auto digits = PyErr_Occurred() == nullptr ? tuple_digits(tuple_item(parts.get(), 1)) : std::nullopt;
    if (!digits) {
        return std::nullopt;
    }
    if (finite) {
        const PriceReading reading =
            parse_price_text(plain_decimal(sign != 0, *digits, static_cast<long long>(digits->size()) + exponent));
        if (reading.ok()) {
            return reading;
        }
    }
    const auto shown = shown_decimal(number, decimal_class);
    return shown ? std::optional<PriceReading>(invalid_price(place, *shown, finite ? out_of_range_reason
                                                                                      : not_finite_reason))
                 : std::nullopt;
}

// decimal.Decimal, imported (from sys.modules after the first time) on first
// need within a call.
PyObject* find_decimal_class(PyRef& decimal_class) {
    if (!decimal_class) {
        PyRef module = PyRef::steal(PyImport_ImportModule("decimal"));
        PyRef found = module ? PyRef::steal(PyObject_GetAttrString(module.get(), "Decimal")) : PyRef();
        if (found && !PyType_Check(found.get())) {
            PyErr_SetString(PyExc_TypeError, "decimal.Decimal is not a class");
            return nullptr;
        }
        decimal_class = std::move(found);
    }
    return decimal_class.get();
}

}  // namespace

std::optional<PriceReading> read_price(PyObject* object, const PricePlace& place, PyRef& decimal_class) {
    if (PyUnicode_Check(object)) {
        return read_text(object, place);
    }
    if (PyBool_Check(object)) {
        raise_not_a_price(object, place);  // True is no price, though it is an int
        return std::nullopt;
    }
    if (PyLong_Check(object)) {
        return read_int(object, place);
    }
    if (PyFloat_Check(object)) {
        return read_float(object, place);
    }
    PyObject* decimal_type = find_decimal_class(decimal_class);
    if (decimal_type == nullptr) {
        return std::nullopt;
    }
    if (PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(decimal_type))) {
        return read_decimal(object, decimal_type, place);
    }
    // NumPy's integers, and any other integer type; not NumPy's booleans,
    // whose __index__ older NumPy still offers.
    if (PyIndex_Check(object) && !is_numpy_bool(reinterpret_cast<PyObject*>(Py_TYPE(object)))) {
        PyRef integer = PyRef::steal(PyNumber_Index(object));
        if (!integer) {
            return std::nullopt;
        }
        return read_int(integer.get(), place);
    }
    raise_not_a_price(object, place);
    return std::nullopt;
}

}  // namespace tariffsieve::py
