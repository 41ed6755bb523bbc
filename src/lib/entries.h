// The interpreter's entries into get_cheapest_periods, plan and plan_totals
// (fast call with keywords), and plan's two halves for calls that plan many
// at once.
#pragma once

#include "py_ref.h"

#include <exception>
#include <string>
#include <vector>

#include "arguments.h"
#include "decimal/decimal.h"
#include "engine/selection_result.h"
#include "price_sequences.h"

namespace tariffsieve::py {

// Each returns a new list of indices (plan_totals: the tuple of indices,
// totals and runs), or null with an exception pending, and never lets a C++
// exception escape.
PyObject* trampoline(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* plan_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* plan_totals_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept;

// plan's arguments once converted: what its engine takes.
struct PlanInputs {
    std::vector<Decimal> prices;
    Decimal threshold;
    CallRules rules;
};

// What plan_many leaves to be done without the GIL: prices given as str only
// are taken as texts (`texts` set), to be parsed later; the threshold's
// error, which plan raises only once every price has parsed, is kept here.
// The taker carries the batch's last copy of texts from one request to the
// next.
struct LaterChecks {
    TextsTaker* taker = nullptr;
    SharedTexts texts;
    std::string threshold_error;  // empty when the threshold holds a decimal
};

// Converts plan's positional arguments in plan's order and with its checks,
// except what it leaves to `later`; false with the exception that plan would
// raise pending.
bool convert_plan_arguments(PyObject* const* args, Py_ssize_t nargs, PlanInputs& inputs, LaterChecks& later);

// What plan returns for converted arguments, given what its engine returned
// or threw: the list, or null with plan's exception pending. `entry` names
// the caller in an abort's diagnostic.
PyObject* plan_outcome(const SelectionResult& result, const std::exception_ptr& thrown, const char* entry) noexcept;

}  // namespace tariffsieve::py
