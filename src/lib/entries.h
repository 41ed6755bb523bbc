// The interpreter's entries into get_cheapest_periods, plan and plan_totals
// (fast call with keywords).
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// Each returns a new list of indices (plan_totals: the tuple of indices,
// totals and runs), or null with an exception pending, and never lets a C++
// exception escape.
PyObject* trampoline(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* plan_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* plan_totals_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept;

}  // namespace tariffsieve::py
