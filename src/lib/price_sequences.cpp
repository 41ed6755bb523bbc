// Reading a whole series of prices: get_cheapest_periods' list of str and
// plan's sequence of any accepted kind. A list whose items may run Python
// code while they are read (plan's), or that another thread may change
// (without the GIL), is read from a snapshot of owned references: the reader
// never holds an item that the list has let go.
#include "price_sequences.h"

#include <optional>

#include "api_access.h"
#include "arguments.h"
#include "price_readers.h"
#include "type_errors.h"

namespace tariffsieve::py {
namespace {

// The items of a list or tuple as a tuple of owned references: a tuple as it
// is, a list (or list subclass) copied from its storage while its lock is
// held on free-threaded builds.
PyRef item_snapshot(PyObject* sequence) {
    return PyTuple_Check(sequence) ? PyRef::borrow(sequence) : PyRef::steal(PyList_AsTuple(sequence));
}

// A list's items for a reader that runs no Python code while it reads them.
// With the GIL held nothing can change the list meanwhile, so its storage is
// read in place (`owner` stays empty); without the GIL another thread may
// change it at any moment, so a snapshot is read, kept alive by `owner`.
std::optional<ItemView> items_read_without_python(PyObject* list, PyRef& owner) {
#ifdef Py_GIL_DISABLED
    owner = item_snapshot(list);
    if (!owner) {
        return std::nullopt;
    }
    return tuple_items(owner.get());
#else
    static_cast<void>(owner);
    return list_items(list);
#endif
}

bool has_length(PyObject* object) { return has_length_slot(Py_TYPE(object)); }

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
    if (static_cast<std::uint64_t>(list_or_tuple_size(prices)) > max_items) {
        return refuse_length(max_items);
    }
    const PyRef items = item_snapshot(prices);
    if (!items) {
        return false;
    }
    const ItemView snapshot = tuple_items(items.get());
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
