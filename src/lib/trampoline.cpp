// One call of get_cheapest_periods: bind, convert the arguments in parameter
// order, convert the prices, run the engine once, build the result.
#include "trampoline.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "binding.h"
#include "call_guard.h"
#include "conversions.h"
#include "engine/request.h"

namespace tariffsieve::py {
namespace {

constexpr FunctionDescription description = {"get_cheapest_periods", selection_parameters, 4};

PyObject* call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, selection_parameters.size()> slots{};
    if (!extract_arguments_fastcall(description, args, nargs, kwnames, slots)) {
        return nullptr;
    }

    // Held for the whole call: a count's __index__ runs Python code.
    PyRef prices = PyRef::borrow(slots[prices_slot]);
    if (!PyList_Check(prices.get())) {
        raise_cast_error(prices.get(), "list");
        argument_extraction_error(selection_parameters[prices_slot]);
        return nullptr;
    }
    PyRef threshold_object = PyRef::borrow(slots[threshold_slot]);
    const auto threshold = extract_text(threshold_object.get());
    if (!threshold) {
        argument_extraction_error(selection_parameters[threshold_slot]);
        return nullptr;
    }
    const std::optional<CallRules> call_rules =
        extract_rules(slots, selection_parameters, first_count_slot, aggressive_slot);
    if (!call_rules) {
        return nullptr;
    }

    // After the counts: their __index__ may have changed the list.
    std::vector<Decimal> decimals;
    if (!convert_prices(prices.get(), decimals)) {
        return nullptr;
    }
    // After the prices, before the request rules: a price that is not a str
    // is reported first, and a bad threshold before any rule.
    const std::optional<Decimal> low_price_threshold = parse_decimal(*threshold);
    if (!low_price_threshold) {
        return nullptr;
    }

    const SelectionResult result =
        get_cheapest_periods(decimals, *low_price_threshold, call_rules->rules, call_rules->aggressive);
    return selection_to_python(result);
}

}  // namespace

PyObject* trampoline(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        return finish_call(call(args, nargs, kwnames));
    } catch (...) {
        return raise_current_exception("get_cheapest_periods");
    }
}

}  // namespace tariffsieve::py
