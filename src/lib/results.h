// The engine's answer as a Python object: a list of int (plan_totals: with
// its totals and runs), or ValueError.
#pragma once

#include "py_ref.h"

#include <cstdint>
#include <span>

#include "engine/plan_totals.h"
#include "engine/selection_result.h"

namespace tariffsieve::py {

// A new list of int, or null with ValueError carrying the engine's message.
PyObject* selection_to_python(const SelectionResult& result);

// A new tuple (indices, total, average, runs), each run a tuple (first,
// last, total, average), every number a str in the decimal's own plain
// notation and the average None when nothing is chosen; or null with
// ValueError carrying the engine's message.
PyObject* plan_totals_to_python(const PlanWithTotals& answer);

// A new list of int, made at its final length; aborts if the interpreter
// cannot make it.
PyRef index_list(std::span<const std::uint64_t> indices);

}  // namespace tariffsieve::py
