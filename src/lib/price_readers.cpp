// Price readers: every accepted kind is turned into plain decimal text and
// handed to the one decimal parser, so that a float, an int or a
// decimal.Decimal means exactly what the same digits written as text mean.
// A list whose items may run Python code while they are read (plan's), or
// that another thread may change (without the GIL), is read from a snapshot
// of owned references: the reader never holds an item that the list let go.
#include "price_readers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>
#include <string>
#include <string_view>

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

// The items of a list or tuple as a tuple of owned references: a tuple as it
// is, a list (or list subclass) copied from its storage while its lock is
// held on free-threaded builds.
PyRef item_snapshot(PyObject* sequence) {
    return PyTuple_Check(sequence) ? PyRef::borrow(sequence) : PyRef::steal(PyList_AsTuple(sequence));
}

std::span<PyObject* const> tuple_items(PyObject* tuple) {
    return {PySequence_Fast_ITEMS(tuple), static_cast<std::size_t>(PyTuple_GET_SIZE(tuple))};
}

// A list's items for a reader that runs no Python code while it reads them.
// With the GIL held nothing can change the list meanwhile, so its storage is
// read in place (`owner` stays empty); without the GIL another thread may
// change it at any moment, so a snapshot is read, kept alive by `owner`.
std::optional<std::span<PyObject* const>> items_read_without_python(PyObject* list, PyRef& owner) {
#ifdef Py_GIL_DISABLED
    owner = item_snapshot(list);
    if (!owner) {
        return std::nullopt;
    }
    return tuple_items(owner.get());
#else
    static_cast<void>(owner);
    return std::span<PyObject* const>(PySequence_Fast_ITEMS(list), static_cast<std::size_t>(PyList_GET_SIZE(list)));
#endif
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
    const double value = PyFloat_AS_DOUBLE(number);
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
    PyRef digits = PyRef::steal(PyLong_Type.tp_repr(integer));
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
    std::string digits;
    digits.reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(digit_objects)));
    for (PyObject* digit_object : tuple_items(digit_objects)) {
        const long digit = PyLong_AsLong(digit_object);
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
    if (!PyTuple_Check(parts.get()) || PyTuple_GET_SIZE(parts.get()) != 3 ||
        !PyTuple_Check(PyTuple_GET_ITEM(parts.get(), 1))) {
        PyErr_SetString(PyExc_TypeError, "decimal.Decimal.as_tuple did not return (sign, digits, exponent)");
        return std::nullopt;
    }
    PyObject* exponent_object = PyTuple_GET_ITEM(parts.get(), 2);
    const bool finite = !PyUnicode_Check(exponent_object);  // else 'n', 'N' or 'F': a NaN or an infinity
    const long long exponent = finite ? PyLong_AsLongLong(exponent_object) : 0;
    const long sign = PyLong_AsLong(PyTuple_GET_ITEM(parts.get(), 0));
    const auto digits = PyErr_Occurred() == nullptr ? tuple_digits(PyTuple_GET_ITEM(parts.get(), 1)) : std::nullopt;
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

bool has_length(PyObject* object) {
    const PyTypeObject* type = Py_TYPE(object);
    return (type->tp_as_sequence != nullptr && type->tp_as_sequence->sq_length != nullptr) ||
           (type->tp_as_mapping != nullptr && type->tp_as_mapping->mp_length != nullptr);
}

bool refuse_length(std::uint64_t max_items) {
    PyErr_SetString(PyExc_ValueError, too_many_prices_message(max_items).c_str());
    return false;
}

// Reads the i-th of plan's prices into decimals.
bool read_sequence_item(PyObject* item, std::uint64_t i, PyRef& decimal_class, std::vector<Decimal>& decimals) {
    const auto reading = read_price(item, PricePlace{"prices", i}, decimal_class);
    if (!reading) {
        return false;
    }
    if (!reading->ok()) {
        PyErr_SetString(PyExc_ValueError, reading->invalid.c_str());
        return false;
    }
    decimals.push_back(reading->value);
    return true;
}

// An exact list or tuple: its length is known before any item is read, and
// its items are read from a snapshot.
bool read_price_array(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals) {
    // A list far too long is refused before it is copied.
    if (static_cast<std::uint64_t>(PySequence_Fast_GET_SIZE(prices)) > max_items) {
        return refuse_length(max_items);
    }
    const PyRef items = item_snapshot(prices);
    if (!items) {
        return false;
    }
    const std::span<PyObject* const> snapshot = tuple_items(items.get());
    if (snapshot.size() > max_items) {  // grown by another thread meanwhile
        return refuse_length(max_items);
    }
    decimals.reserve(snapshot.size());
    PyRef decimal_class;
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        if (!read_sequence_item(snapshot[i], i, decimal_class, decimals)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool read_price_list(PyObject* list, std::vector<Decimal>& prices) {
    PyRef owner;
    const auto items = items_read_without_python(list, owner);
    if (!items) {
        return false;
    }
    prices.reserve(items->size());
    for (PyObject* item : *items) {
        if (!PyUnicode_Check(item)) {
            raise_cast_error(item, "str");  // Python code, but the reading ends here
            return false;
        }
        const auto text = utf8_text(item);
        if (!text) {
            return false;
        }
        const PriceReading price = parse_price_text(*text);
        if (!price.ok()) {
            PyErr_SetString(PyExc_ValueError, invalid_decimal_message);  // the parser's reason is not shown
            return false;
        }
        prices.push_back(price.value);
    }
    return true;
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
    if (PyList_CheckExact(prices) || PyTuple_CheckExact(prices)) {
        return read_price_array(prices, max_items, decimals);
    }
    // Any other sequence, through its own length and iterator; the iterator
    // hands out owned references.
    if (has_length(prices)) {
        const Py_ssize_t length = PyObject_Size(prices);
        if (length < 0) {
            return false;
        }
        if (static_cast<std::uint64_t>(length) > max_items) {
            return refuse_length(max_items);
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
            return refuse_length(max_items);
        }
        if (!read_sequence_item(item.get(), i, decimal_class, decimals)) {
            return false;
        }
    }
}

}  // namespace tariffsieve::py
