// The interpreter's entries into get_cheapest_periods and plan (fast call
// with keywords).
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// Each returns a new list of indices, or null with an exception pending, and
// never lets a C++ exception escape.
PyObject* trampoline(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* plan_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace tariffsieve::py
