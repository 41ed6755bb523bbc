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

constexpr std::array<const char*, 7> parameter_names = {
    "prices",
    "low_price_threshold",
    "min_selections",
    "min_consecutive_periods",
    "max_gap_between_periods",
    "max_gap_from_start",
    "aggressive",
};
constexpr FunctionDescription description = {"get_cheapest_periods", parameter_names, 4};

// Slot positions; the four counts follow one another from first_count_slot,
// in the order of TimingRules' members.
constexpr std::size_t prices_slot = 0;
constexpr std::size_t threshold_slot = 1;
constexpr std::size_t first_count_slot = 2;
constexpr std::size_t aggressive_slot = 6;

PyObject* call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, parameter_names.size()> slots{};
    if (!extract_arguments_fastcall(description, args, nargs, kwnames, slots)) {
        return nullptr;
    }

    // Held for the whole call: a count's __index__ runs Python code.
    PyRef prices = PyRef::borrow(slots[prices_slot]);
    if (!PyList_Check(prices.get())) {
        raise_cast_error(prices.get(), "list");
        argument_extraction_error(parameter_names[prices_slot]);
        return nullptr;
    }
    PyRef threshold_object = PyRef::borrow(slots[threshold_slot]);
    const auto threshold = extract_text(threshold_object.get());
    if (!threshold) {
        argument_extraction_error(parameter_names[threshold_slot]);
        return nullptr;
    }
    std::array<std::uint64_t, 4> counts{};  // absent counts are 0
    for (std::size_t i = 0; i < counts.size(); ++i) {
        PyObject* argument = slots[first_count_slot + i];
        if (argument == nullptr) {
            continue;
        }
        const auto count = extract_count(argument);
        if (!count) {
            argument_extraction_error(parameter_names[first_count_slot + i]);
            return nullptr;
        }
        counts[i] = *count;
    }
    bool aggressive = true;
    if (slots[aggressive_slot] != nullptr) {
        const auto flag = extract_flag(slots[aggressive_slot]);
        if (!flag) {
            argument_extraction_error(parameter_names[aggressive_slot]);
            return nullptr;
        }
        aggressive = *flag;
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

    const TimingRules rules{
        .min_selections = counts[0],
        .min_consecutive_periods = counts[1],
        .max_gap_between_periods = counts[2],
        .max_gap_from_start = counts[3],
    };
    const SelectionResult result = get_cheapest_periods(decimals, *low_price_threshold, rules, aggressive);
    if (!result.ok()) {
        PyErr_SetString(PyExc_ValueError, result.error.c_str());
        return nullptr;
    }
    return index_list(result.indices).release();
}

}  // namespace

PyObject* trampoline(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        PyObject* result = call(args, nargs, kwnames);
        if (result == nullptr) {
            ensure_error_set();
            resume_panic_from_python();
        }
        return result;
    } catch (...) {
        return raise_current_exception("get_cheapest_periods");
    }
}

}  // namespace tariffsieve::py
