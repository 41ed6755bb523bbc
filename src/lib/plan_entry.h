// The interpreter's entry into plan (fast call with keywords).
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// Returns a new list of indices, or null with an exception pending. Never
// lets a C++ exception escape.
PyObject* plan_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace tariffsieve::py
