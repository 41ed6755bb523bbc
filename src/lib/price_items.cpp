// Reading plan's prices: every accepted kind is turned into plain decimal
// text and handed to the one decimal parser, so that a float, an int or a
// decimal.Decimal means exactly what the same digits written as text mean.
#include "price_items.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "conversions.h"

namespace tariffsieve::py {
namespace {

constexpr const char not_a_price[] = "object is not a price (str, int, float or decimal.Decimal)";
constexpr const char not_finite[] = "not a finite number";
constexpr const char out_of_range[] = "out of range: a price's magnitude must be below 2^96";

// A decimal integer part of this many digits is at least 10^29, beyond 2^96:
// the parser refuses it whatever digits follow.
constexpr long long refused_integer_digits = 30;
// The 29th digit behind the point is the parser's rounding digit and the
// digits after it play no part, so 29 zeros behind the point say all.
constexpr long long significant_leading_zeros = 29;
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

PriceReading invalid(const PricePlace& place, std::string_view shown, std::string_view reason) {
    std::string message = "Invalid decimal: " + place.text() + " is ";
    message += shown;
    message += " (";
    message += reason;
    message += ')';
    return {Decimal{}, std::move(message)};
}

// The parser's message without its own leading "Invalid decimal: ".
std::string_view parser_reason(std::string_view message) {
    constexpr std::string_view lead = "Invalid decimal: ";
    return message.substr(0, lead.size()) == lead ? message.substr(lead.size()) : message;
}

// Parses text made from a number; `failure` says why it has no value.
PriceReading parse(std::string_view text, const PricePlace& place, std::string_view shown, std::string_view failure) {
    const ParseResult parsed = from_str(text);
    if (parsed.ok()) {
        return {parsed.value, {}};
    }
    return invalid(place, shown, failure);
}

// The UTF-8 text of a str, or nothing with an exception pending.
std::optional<std::string_view> utf8(PyObject* text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
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
    const auto repr_text = repr ? utf8(repr.get()) : std::nullopt;
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
    const auto bytes = utf8(text);
    if (!bytes) {
        return std::nullopt;
    }
    const ParseResult parsed = from_str(*bytes);
    if (parsed.ok()) {
        return PriceReading{parsed.value, {}};
    }
    const auto shown = shown_text(text);
    if (!shown) {
        return std::nullopt;
    }
    return invalid(place, *shown, parser_reason(parsed.error));
}

// Plain decimal text of the number sign · 0.digits · 10^point: `point`
// digits stand before the decimal point (fewer than none means zeros after
// it). Parses exactly as the full text would: integer parts long enough to
// be refused and zeros beyond the rounding digit are cut short.
std::string plain_decimal(bool negative, std::string_view digits, long long point) {
    const long long fraction_digits = static_cast<long long>(digits.size()) - point;
    while (!digits.empty() && digits.front() == '0') {
        digits.remove_prefix(1);
        --point;
    }
    if (digits.empty()) {  // zero, with the scale its text would have
        std::string zero = "0";
        if (fraction_digits > 0) {
            zero += '.';
            zero.append(static_cast<std::size_t>(std::min(fraction_digits, significant_leading_zeros)), '0');
        }
        return zero;
    }
    std::string text = negative ? "-" : "";
    const long long count = static_cast<long long>(digits.size());
    if (point >= count) {
        const long long integer_digits = std::min(point, refused_integer_digits);
        text += digits.substr(0, static_cast<std::size_t>(std::min(count, integer_digits)));
        text.append(static_cast<std::size_t>(std::max(0LL, integer_digits - count)), '0');
    } else if (point <= 0) {
        text += "0.";
        const long long zeros = -point;
        if (zeros >= significant_leading_zeros) {
            text.append(static_cast<std::size_t>(significant_leading_zeros), '0');
        } else {
            text.append(static_cast<std::size_t>(zeros), '0');
            text += digits;
        }
    } else {
        text += digits.substr(0, static_cast<std::size_t>(point));
        text += '.';
        text += digits.substr(static_cast<std::size_t>(point));
    }
    return text;
}

// A float's shortest round-tripping text (as repr shows it: 0.1, 1e-05,
// 1.5e+16) in plain decimal notation.
std::string plain_float_text(std::string_view shown) {
    const bool negative = !shown.empty() && shown.front() == '-';
    if (negative) {
        shown.remove_prefix(1);
    }
    const std::size_t e = shown.find('e');
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view power = shown.substr(e + 1);
        if (!power.empty() && power.front() == '+') {
            power.remove_prefix(1);  // from_chars takes no plus sign
        }
        std::from_chars(power.data(), power.data() + power.size(), exponent);
        shown = shown.substr(0, e);
    }
    std::string digits;
    std::size_t before_point = shown.size();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '.') {
            before_point = i;
        } else {
            digits += shown[i];
        }
    }
    return plain_decimal(negative, digits, static_cast<long long>(before_point) + exponent);
}

std::optional<PriceReading> read_float(PyObject* number, const PricePlace& place) {
    const double value = PyFloat_AS_DOUBLE(number);
    // float.__repr__'s digits, also for a subclass that shows itself otherwise.
    char* repr = PyOS_double_to_string(value, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (repr == nullptr) {
        return std::nullopt;
    }
    const std::string shown(repr);
    PyMem_Free(repr);
    if (!std::isfinite(value)) {
        return invalid(place, shown, not_finite);
    }
    // The text made here is well formed: a failed parse can only be the range.
    return parse(plain_float_text(shown), place, shown, out_of_range);
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
        return parse(text, place, text, out_of_range);
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
        return invalid(place, "an int of " + std::to_string(bit_count) + " bits", out_of_range);
    }
    // int's own decimal text, whatever a subclass's __repr__ says.
    PyRef digits = PyRef::steal(PyLong_Type.tp_repr(integer));
    const auto text = digits ? utf8(digits.get()) : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    if (bit_count > 96) {
        return invalid(place, *text, out_of_range);
    }
    return parse(*text, place, *text, out_of_range);
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
    const auto text = utf8(repr.get());
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

// A decimal.Decimal, read through the class's own as_tuple (sign, digits,
// exponent), so that exponent forms mean their value.
std::optional<PriceReading> read_decimal(PyObject* number, PyObject* decimal_class, const PricePlace& place) {
    PyRef parts = PyRef::steal(PyObject_CallMethod(decimal_class, "as_tuple", "(O)", number));
    if (!parts) {
        return std::nullopt;
    }
    if (!PyTuple_Check(parts.get()) || PyTuple_GET_SIZE(parts.get()) != 3 ||
        !PyTuple_Check(PyTuple_GET_ITEM(parts.get(), 1))) {
        PyErr_SetString(PyExc_TypeError, "decimal.Decimal.as_tuple did not return (sign, digits, exponent)");
        return std::nullopt;
    }
    PyObject* exponent_object = PyTuple_GET_ITEM(parts.get(), 2);
    if (PyUnicode_Check(exponent_object)) {  // 'n', 'N' or 'F': a NaN or an infinity
        const auto shown = shown_decimal(number, decimal_class);
        return shown ? std::optional<PriceReading>(invalid(place, *shown, not_finite)) : std::nullopt;
    }
    const long long exponent = PyLong_AsLongLong(exponent_object);
    const long sign = PyLong_AsLong(PyTuple_GET_ITEM(parts.get(), 0));
    if (PyErr_Occurred() != nullptr) {
        return std::nullopt;
    }
    PyObject* digit_objects = PyTuple_GET_ITEM(parts.get(), 1);
    std::string digits;
    digits.reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(digit_objects)));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(digit_objects); ++i) {
        const long digit = PyLong_AsLong(PyTuple_GET_ITEM(digit_objects, i));
        if (PyErr_Occurred() != nullptr) {
            return std::nullopt;
        }
        digits += static_cast<char>('0' + digit % 10);
    }
    const std::string text =
        plain_decimal(sign != 0, digits, static_cast<long long>(digits.size()) + exponent);
    const ParseResult parsed = from_str(text);
    if (parsed.ok()) {
        return PriceReading{parsed.value, {}};
    }
    const auto shown = shown_decimal(number, decimal_class);
    return shown ? std::optional<PriceReading>(invalid(place, *shown, out_of_range)) : std::nullopt;
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

bool has_length(PyObject* object) {
    const PyTypeObject* type = Py_TYPE(object);
    return (type->tp_as_sequence != nullptr && type->tp_as_sequence->sq_length != nullptr) ||
           (type->tp_as_mapping != nullptr && type->tp_as_mapping->mp_length != nullptr);
}

}  // namespace

std::string PricePlace::text() const {
    return index ? std::string(parameter) + "[" + std::to_string(*index) + "]" : std::string(parameter);
}

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

bool check_price_sequence(PyObject* prices) {
    if (PySequence_Check(prices) && !PyUnicode_Check(prices) && !PyBytes_Check(prices) &&
        !PyByteArray_Check(prices)) {
        return true;
    }
    PyRef name = type_name(prices);
    if (name) {
        PyErr_Format(PyExc_TypeError, "'%U' object is not a sequence of prices", name.get());
    }
    return false;
}

bool read_price_sequence(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals) {
    const auto refuse_length = [max_items] {
        const std::string message = "prices cannot contain more than " + std::to_string(max_items) + " items";
        PyErr_SetString(PyExc_ValueError, message.c_str());
        return false;
    };
    if (has_length(prices)) {
        const Py_ssize_t length = PyObject_Size(prices);
        if (length < 0) {
            return false;
        }
        if (static_cast<std::uint64_t>(length) > max_items) {
            return refuse_length();
        }
        decimals.reserve(static_cast<std::size_t>(length));
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(prices));
    if (!iterator) {
        return false;
    }
    PyRef decimal_class;
    for (std::uint64_t i = 0;; ++i) {
        PyRef item = PyRef::steal(PyIter_Next(iterator.get()));
        if (!item) {
            return PyErr_Occurred() == nullptr;
        }
        if (i == max_items) {  // a sequence whose iteration outruns its length
            return refuse_length();
        }
        const auto reading = read_price(item.get(), PricePlace{"prices", i}, decimal_class);
        if (!reading) {
            return false;
        }
        if (!reading->ok()) {
            PyErr_SetString(PyExc_ValueError, reading->invalid.c_str());
            return false;
        }
        decimals.push_back(reading->value);
    }
}

}  // namespace tariffsieve::py
