// The interpreter's entry into get_cheapest_periods (fast call with keywords).
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// Returns a new list of indices, or null with an exception pending. Never
// lets a C++ exception escape.
PyObject* trampoline(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace tariffsieve::py
