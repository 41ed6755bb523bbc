// The module's TypeError texts: the name of an object's type, the cast
// message, and the "argument '...'" wrap around a conversion's TypeError.
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// `__qualname__` of the object's type, or "<failed to extract type name>"
// when it cannot be read as a str; null only when no str can be made.
PyRef type_name(PyObject* object);

// Raises TypeError "'<type>' object cannot be cast as '<expected>'".
void raise_cast_error(PyObject* object, const char* expected);

// Wraps a pending exception of exactly the class TypeError as
// "argument '<parameter>': <message>"; any other exception stays as it is.
void argument_extraction_error(const char* parameter);

}  // namespace tariffsieve::py
