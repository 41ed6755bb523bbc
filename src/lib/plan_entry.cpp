// One call of plan: bind, convert every argument (the threshold's and the
// prices' values in the order get_cheapest_periods reports them), run the
// engine with the GIL released, build the result.
#include "plan_entry.h"

#include <array>
#include <cstdint>
#include <exception>
#include <string_view>
#include <vector>

#include "binding.h"
#include "call_guard.h"
#include "conversions.h"
#include "decimal/abort.h"
#include "engine/plan.h"
#include "price_items.h"

namespace tariffsieve::py {
namespace {

constexpr FunctionDescription description = {"plan", selection_parameters, 4};

constexpr const char overflow_message[] =
    "Addition overflowed: sums of these prices leave the range of exact decimals "
    "(magnitudes below 2^96); use smaller prices or fewer decimals";

// Runs the engine without the GIL. Whatever it throws is caught before the
// GIL is taken back and thrown again afterwards, so that nothing unwinds
// through the released state.
SelectionResult plan_without_gil(std::span<const Decimal> prices, const Decimal& threshold, const TimingRules& rules,
                                 bool aggressive) {
    SelectionResult result;
    std::exception_ptr thrown;
    PyThreadState* state = PyEval_SaveThread();
    try {
        result = plan(prices, threshold, rules, aggressive);
    } catch (...) {
        thrown = std::current_exception();
    }
    PyEval_RestoreThread(state);
    if (thrown) {
        std::rethrow_exception(thrown);
    }
    return result;
}

PyObject* call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, selection_parameters.size()> slots{};
    if (!extract_arguments_fastcall(description, args, nargs, kwnames, slots)) {
        return nullptr;
    }

    // Held for the whole call: conversions run Python code (__index__).
    PyRef prices = PyRef::borrow(slots[prices_slot]);
    if (!check_price_sequence(prices.get())) {
        argument_extraction_error(selection_parameters[prices_slot]);
        return nullptr;
    }
    // Its type now; a value that is no decimal is reported after the prices,
    // where get_cheapest_periods reports an unparsable threshold.
    PyRef threshold_object = PyRef::borrow(slots[threshold_slot]);
    PyRef decimal_class;
    const auto threshold = read_price(threshold_object.get(), PricePlace{selection_parameters[threshold_slot], {}},
                                      decimal_class);
    if (!threshold) {
        argument_extraction_error(selection_parameters[threshold_slot]);
        return nullptr;
    }
    const std::optional<CallRules> call_rules =
        extract_rules(slots, selection_parameters, first_count_slot, aggressive_slot);
    if (!call_rules) {
        return nullptr;
    }

    // After the counts: their __index__ may have changed the sequence.
    std::vector<Decimal> decimals;
    if (!read_price_sequence(prices.get(), max_plan_periods, decimals)) {
        return nullptr;
    }
    if (!threshold->ok()) {
        PyErr_SetString(PyExc_ValueError, threshold->invalid.c_str());
        return nullptr;
    }

    SelectionResult result;
    try {
        result = plan_without_gil(decimals, threshold->value, call_rules->rules, call_rules->aggressive);
    } catch (const Abort& abort) {
        // The one abort a caller can provoke: prices whose sums leave the
        // decimal range. Any other is an internal fault.
        if (abort.what() == nullptr || std::string_view(abort.what()) != addition_overflowed_message) {
            throw;  // the call guard raises PanicException
        }
        PyErr_SetString(PyExc_ValueError, overflow_message);
        return nullptr;
    }
    return selection_to_python(result);
}

}  // namespace

PyObject* plan_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        return finish_call(call(args, nargs, kwnames));
    } catch (...) {
        return raise_current_exception("plan");
    }
}

}  // namespace tariffsieve::py
