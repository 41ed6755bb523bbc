// Reading a whole series of prices: get_cheapest_periods' list of str and
// plan's sequence of any accepted kind. A list whose items may run Python
// code while they are read (plan's), or that another thread may change
// (without the GIL), is read from a snapshot of owned references: the reader
// never holds an item that the list has let go.
#include "price_sequences.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "api_access.h"
#include "arguments.h"
#include "decimal/abort.h"
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

// A str that parses, the common price, straight into decimals; false, with
// nothing pending, for any other item, which read_price then reads (and
// words the errors of). Spares a common price the reading's message string.
bool read_plain_text(PyObject* item, std::vector<Decimal>& decimals) {
    if (!PyUnicode_Check(item)) {
        return false;
    }
    const auto text = utf8_text(item);
    if (!text) {
        PyErr_Clear();  // raised again by read_price, in its place
        return false;
    }
    const ParseResult parsed = from_str(*text);
    if (!parsed.ok()) {
        return false;
    }
    decimals.push_back(parsed.value);
    return true;
}

// Reads the i-th of plan's prices into decimals.
bool read_sequence_item(PyObject* item, std::uint64_t i, PyRef& decimal_class, std::vector<Decimal>& decimals) {
    if (read_plain_text(item, decimals)) {
        return true;
    }
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

// The items of an exact list or tuple, from a snapshot; its length is known
// before any item is read. Null with an exception pending.
PyRef array_snapshot(PyObject* prices, std::uint64_t max_items) {
    // A list far too long is refused before it is copied.
    if (static_cast<std::uint64_t>(list_or_tuple_size(prices)) > max_items) {
        refuse_length(max_items);
        return PyRef();
    }
    PyRef items = item_snapshot(prices);
    if (items && static_cast<std::uint64_t>(tuple_size(items.get())) > max_items) {
        refuse_length(max_items);  // grown by another thread meanwhile
        return PyRef();
    }
    return items;
}

bool read_snapshot(PyObject* items, std::vector<Decimal>& decimals) {
    const ItemView snapshot = tuple_items(items);
    decimals.reserve(snapshot.size());
    PyRef decimal_class;
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        if (!read_sequence_item(snapshot[i], i, decimal_class, decimals)) {
            return false;
        }
    }
    return true;
}

bool read_price_array(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals) {
    const PyRef items = array_snapshot(prices, max_items);
    return items && read_snapshot(items.get(), decimals);
}

// A price's text is copied into a buffer this long to start with: a
// typical price ("0.25431") has 7 characters.
constexpr std::size_t usual_text_size = 8;

// Copies the UTF-8 texts of items that are all str; false (and no exception
// pending) when one is not, has no UTF-8 text, or would carry the copy past
// the 4 GiB that its offsets reach. Runs no Python code.
bool copy_texts(const ItemView& items, PriceTexts& texts) {
    texts.ends.reserve(items.size());
    texts.bytes.reserve(items.size() * usual_text_size);
    for (PyObject* item : items) {
        const auto text = PyUnicode_Check(item) ? utf8_text(item) : std::nullopt;
        if (!text || text->size() > UINT32_MAX - texts.bytes.size()) {
            PyErr_Clear();  // raised again, in its place, when the items are read
            return false;
        }
        texts.bytes += *text;
        texts.ends.push_back(static_cast<std::uint32_t>(texts.bytes.size()));
    }
    return true;
}

// True when the items are all str with exactly the texts of `texts`, in
// order; runs no Python code.
bool same_texts(const ItemView& items, const PriceTexts& texts) {
    if (items.size() != texts.ends.size()) {
        return false;
    }
    const std::string_view bytes = texts.bytes;
    std::size_t start = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto text = PyUnicode_Check(items[i]) ? utf8_text(items[i]) : std::nullopt;
        if (!text) {
            PyErr_Clear();  // raised again, in its place, when the items are read
            return false;
        }
        if (*text != bytes.substr(start, texts.ends[i] - start)) {
            return false;
        }
        start = texts.ends[i];
    }
    return true;
}

// True when the items are the very strs held from an earlier request: the
// same texts, told by a pointer a price.
bool same_objects(const ItemView& items, PyObject* held) {
    if (held == nullptr || static_cast<std::size_t>(tuple_size(held)) != items.size()) {
        return false;
    }
    const ItemView kept = tuple_items(held);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] != kept[i]) {
            return false;
        }
    }
    return true;
}

// The items as owned references: the tuple itself, the snapshot already
// made, or a new one; null (nothing pending) when none can be made.
PyRef held_items(PyObject* prices, PyRef& owner) {
    PyRef held = PyTuple_CheckExact(prices) ? PyRef::borrow(prices)
                 : owner                        ? PyRef::borrow(owner.get())
                                                : item_snapshot(prices);
    if (!held) {
        PyErr_Clear();  // only the next request's shortcut is lost
    }
    return held;
}

// The taker's last copy when the items read the same, else a new copy of
// their texts; empty when an item is no str with a UTF-8 text. Strs that
// read the same are held, so that the requests after them (a fleet's, on
// one list) are told the same by identity, without reading a text.
SharedTexts texts_of(const ItemView& items, PyObject* prices, PyRef& owner, TextsTaker& taker) {
    if (taker.last && same_objects(items, taker.items.get())) {
        return taker.last;
    }
    if (taker.last && same_texts(items, *taker.last)) {
        taker.items = held_items(prices, owner);
        return taker.last;
    }
    auto copy = std::make_shared<PriceTexts>();
    if (!copy_texts(items, *copy)) {
        return nullptr;
    }
    copy->series = ++taker.made;
    taker.last = copy;
    taker.items = PyRef();
    return copy;
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

bool take_price_sequence(PyObject* prices, std::uint64_t max_items, std::vector<Decimal>& decimals,
                         TextsTaker& taker, SharedTexts& texts) {
    texts.reset();
    if (!PyList_CheckExact(prices) && !PyTuple_CheckExact(prices)) {
        return read_price_sequence(prices, max_items, decimals);
    }
    // A list far too long is refused before anything is copied.
    if (static_cast<std::uint64_t>(list_or_tuple_size(prices)) > max_items) {
        return refuse_length(max_items);
    }
    // The copy runs no Python code, so a list is read as get_cheapest_periods
    // reads it: in place with the GIL held, from a snapshot without.
    PyRef owner;
    const auto items = PyTuple_CheckExact(prices) ? std::optional<ItemView>(tuple_items(prices))
                                                  : items_read_without_python(prices, owner);
    if (!items) {
        return false;
    }
    if (items->size() <= max_items) {
        texts = texts_of(*items, prices, owner, taker);
        if (texts) {
            return true;
        }
    }
    // Read as plan reads it, so that the first item that fails decides.
    return read_price_array(prices, max_items, decimals);
}

bool parse_price_texts(const PriceTexts& texts, std::vector<Decimal>& decimals) {
    decimals.reserve(texts.ends.size());
    const std::string_view bytes = texts.bytes;
    std::size_t start = 0;
    for (const std::uint32_t end : texts.ends) {
        const ParseResult price = from_str(bytes.substr(start, end - start));
        if (!price.ok()) {
            return false;
        }
        decimals.push_back(price.value);
        start = end;
    }
    return true;
}

void raise_price_texts_error(const PriceTexts& texts) {
    // plan reads a str by its text alone (its message shows an exact str's
    // repr of it), so strs made again from the copies fail as the originals did.
    PyRef items = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(texts.ends.size())));
    if (!items) {
        return;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < texts.ends.size(); ++i) {
        const auto size = static_cast<Py_ssize_t>(texts.ends[i] - start);
        PyObject* text = PyUnicode_DecodeUTF8(texts.bytes.data() + start, size, nullptr);
        if (text == nullptr) {
            return;
        }
        PyTuple_SetItem(items.get(), static_cast<Py_ssize_t>(i), text);  // steals; cannot fail on a fresh tuple
        start = texts.ends[i];
    }
    std::vector<Decimal> decimals;
    if (read_snapshot(items.get(), decimals)) {
        throw Abort("price texts parsed differently the second time");  // the parse is a pure function
    }
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
