// Binding of a fast-call's positional and keyword arguments to the
// parameters of a function, with the interpreter's usual TypeError wording.
#pragma once

#include "py_ref.h"

#include <cstddef>
#include <span>

namespace tariffsieve::py {

// A function whose parameters are all positional-or-keyword; the first
// `required` of them must be given.
struct FunctionDescription {
    const char* name;  // without the parentheses
    std::span<const char* const> parameters;
    std::size_t required;
};

// Fills one slot per parameter with a borrowed reference to its argument, or
// leaves it null when the call does not mention the parameter. On failure
// raises TypeError and returns false.
bool extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames, std::span<PyObject*> slots);

}  // namespace tariffsieve::py
