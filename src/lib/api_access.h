// Access to tuples, lists, floats and type slots that compiles both against
// the full API (the fast macros, reading objects in place) and against the
// limited API of 3.10 (Py_LIMITED_API, an abi3 module: the functions only).
#pragma once

#include "py_ref.h"

#include <cstddef>
#include <span>

#if defined(Py_LIMITED_API) && defined(Py_GIL_DISABLED)
#error "a free-threaded CPython has no limited API to build against"
#endif

namespace tariffsieve::py {

#ifndef Py_LIMITED_API

// Borrowed items, read in place from the storage of a tuple or list.
using ItemView = std::span<PyObject* const>;

inline Py_ssize_t tuple_size(PyObject* tuple) { return PyTuple_GET_SIZE(tuple); }
// Borrowed.
inline PyObject* tuple_item(PyObject* tuple, Py_ssize_t i) { return PyTuple_GET_ITEM(tuple, i); }
inline ItemView tuple_items(PyObject* tuple) {
    return {PySequence_Fast_ITEMS(tuple), static_cast<std::size_t>(PyTuple_GET_SIZE(tuple))};
}
// Only while nothing can change the list (the GIL held, no Python code run).
inline ItemView list_items(PyObject* list) {
    return ItemView(PySequence_Fast_ITEMS(list), static_cast<std::size_t>(PyList_GET_SIZE(list)));
}
// The length of an exact list or tuple.
inline Py_ssize_t list_or_tuple_size(PyObject* sequence) { return PySequence_Fast_GET_SIZE(sequence); }
// Stores a new reference (stolen) in a fresh list's empty place.
inline void fill_list_item(PyObject* list, Py_ssize_t i, PyObject* item) { PyList_SET_ITEM(list, i, item); }

// A float's (or float subclass's) value; never fails.
inline double float_value(PyObject* number) { return PyFloat_AS_DOUBLE(number); }

inline PyObject* call_one_arg(PyObject* callable, PyObject* argument) {
    return PyObject_CallOneArg(callable, argument);
}

// int's own __repr__, also for an int subclass.
inline PyObject* int_repr(PyObject* integer) { return PyLong_Type.tp_repr(integer); }

// The type's nb_bool slot, or null.
inline inquiry bool_slot(PyTypeObject* type) {
    const PyNumberMethods* number = type->tp_as_number;
    return number == nullptr ? nullptr : number->nb_bool;
}

// True when the type has a length slot (sequence's or mapping's).
inline bool has_length_slot(const PyTypeObject* type) {
    return (type->tp_as_sequence != nullptr && type->tp_as_sequence->sq_length != nullptr) ||
           (type->tp_as_mapping != nullptr && type->tp_as_mapping->mp_length != nullptr);
}

#else

// Borrowed items of a tuple or list, fetched one at a time: the limited API
// gives no view of the storage. A list is read as it is at each access, so
// the same care applies as for reading its storage.
class ItemView {
public:
    class iterator {
    public:
        iterator(const ItemView* view, std::size_t i) : view_(view), i_(i) {}
        PyObject* operator*() const { return (*view_)[i_]; }
        iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator!=(const iterator& other) const { return i_ != other.i_; }

    private:
        const ItemView* view_;
        std::size_t i_;
    };

    ItemView(PyObject* container, bool list)
        : container_(container), size_(static_cast<std::size_t>(list ? PyList_Size(container) : PyTuple_Size(container))),
          list_(list) {}
    std::size_t size() const { return size_; }
    // PyList_GetItem and PyTuple_GetItem both borrow; a GIL build (the only
    // one with a limited API) needs no PyList_GetItemRef.
    PyObject* operator[](std::size_t i) const {
        const auto index = static_cast<Py_ssize_t>(i);
        return list_ ? PyList_GetItem(container_, index) : PyTuple_GetItem(container_, index);
    }
    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, size_}; }

private:
    PyObject* container_;
    std::size_t size_;
    bool list_;
};

inline Py_ssize_t tuple_size(PyObject* tuple) { return PyTuple_Size(tuple); }
inline PyObject* tuple_item(PyObject* tuple, Py_ssize_t i) { return PyTuple_GetItem(tuple, i); }
inline ItemView tuple_items(PyObject* tuple) { return ItemView(tuple, false); }
inline ItemView list_items(PyObject* list) { return ItemView(list, true); }
inline Py_ssize_t list_or_tuple_size(PyObject* sequence) {
    return PyList_Check(sequence) ? PyList_Size(sequence) : PyTuple_Size(sequence);
}
// Cannot fail: the list is fresh and i within it.
inline void fill_list_item(PyObject* list, Py_ssize_t i, PyObject* item) {
    static_cast<void>(PyList_SetItem(list, i, item));
}

inline double float_value(PyObject* number) { return PyFloat_AsDouble(number); }

inline PyObject* call_one_arg(PyObject* callable, PyObject* argument) {
    return PyObject_CallFunctionObjArgs(callable, argument, nullptr);
}

// PyType_GetSlot reads static types' slots from 3.10 on.
inline PyObject* int_repr(PyObject* integer) {
    return reinterpret_cast<reprfunc>(PyType_GetSlot(&PyLong_Type, Py_tp_repr))(integer);
}

inline inquiry bool_slot(PyTypeObject* type) { return reinterpret_cast<inquiry>(PyType_GetSlot(type, Py_nb_bool)); }

inline bool has_length_slot(const PyTypeObject* type) {
    PyTypeObject* mutable_type = const_cast<PyTypeObject*>(type);
    return PyType_GetSlot(mutable_type, Py_sq_length) != nullptr || PyType_GetSlot(mutable_type, Py_mp_length) != nullptr;
}

#endif

}  // namespace tariffsieve::py
