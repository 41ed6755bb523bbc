// The interned attribute names that registering the function needs; each is
// made on first use and kept for the life of the process.
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// Borrowed references, or null with an exception pending.
PyObject* dunder_all();
PyObject* dunder_name();

}  // namespace tariffsieve::py
