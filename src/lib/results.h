// The engine's answer as a Python object: a list of int, or ValueError.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <span>

#include "engine/selection_result.h"

namespace tariffsieve::py {

// A new list of int, or null with ValueError carrying the engine's message.
PyObject* selection_to_python(const SelectionResult& result);

// A new list of int, made at its final length; aborts if the interpreter
// cannot make it.
PyRef index_list(std::span<const std::uint64_t> indices);

}  // namespace tariffsieve::py
