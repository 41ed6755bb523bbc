// One call of any of the functions, on one skeleton: bind, convert the
// arguments in parameter order, read the prices, run the engine once, build
// the result. get_cheapest_periods and plan differ only in the prices and
// threshold they accept and in how the engine runs (plan releases the GIL and
// reports an overflow as a ValueError); plan_totals is plan that also returns
// the totals of its answer.
#include "entries.h"

#include <array>
#include <exception>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "binding.h"
#include "call_guard.h"
#include "decimal/abort.h"
#include "engine/plan.h"
#include "engine/plan_totals.h"
#include "engine/request.h"
#include "price_readers.h"
#include "price_sequences.h"
#include "price_text.h"
#include "results.h"
#include "type_errors.h"

namespace tariffsieve::py {
namespace {

enum class Entry { get_cheapest_periods, plan, plan_totals };

// plan_totals takes, reads and checks its arguments as plan does, so that it
// answers (or refuses) every call exactly as plan would.
template <Entry entry>
constexpr bool plans = entry != Entry::get_cheapest_periods;

constexpr const char* entry_name(Entry entry) {
    switch (entry) {
        case Entry::get_cheapest_periods:
            return "get_cheapest_periods";
        case Entry::plan:
            return "plan";
        case Entry::plan_totals:
            return "plan_totals";
    }
    return "";
}

template <Entry entry>
constexpr FunctionDescription description = {entry_name(entry), selection_parameters, 4};

constexpr const char plan_overflow_message[] =
    "Addition overflowed: sums of these prices leave the range of exact decimals "
    "(magnitudes below 2^96); use smaller prices or fewer decimals";

// The one abort a caller can provoke: prices whose sums leave the decimal
// range. Any other is an internal fault.
bool is_addition_overflow(const Abort& abort) {
    return abort.what() != nullptr && std::string_view(abort.what()) == addition_overflowed_message;
}

// The kind of the prices argument, checked first; false with TypeError pending.
template <Entry entry>
bool accepts_prices(PyObject* prices) {
    if constexpr (plans<entry>) {
        return check_price_sequence(prices);
    } else {
        if (PyList_Check(prices)) {
            return true;
        }
        raise_cast_error(prices, "list");
        return false;
    }
}

// The threshold, read with the other arguments. A value that is no decimal
// is reported only after the prices have been read.
template <Entry entry>
std::optional<PriceReading> read_threshold(PyObject* threshold) {
    if constexpr (plans<entry>) {
        PyRef decimal_class;
        return read_price(threshold, PricePlace{selection_parameters[threshold_slot], {}}, decimal_class);
    } else {
        const std::optional<std::string_view> text = extract_text(threshold);
        if (!text) {
            return std::nullopt;
        }
        PriceReading reading = parse_price_text(*text);
        if (!reading.ok()) {
            reading.invalid = invalid_decimal_message;  // the parser's reason is not shown
        }
        return reading;
    }
}

// `texts`, when given, may take prices as texts instead of decimals.
template <Entry entry>
bool read_prices(PyObject* prices, std::vector<Decimal>& decimals, LaterChecks* later) {
    if constexpr (plans<entry>) {
        return later != nullptr ? take_price_sequence(prices, max_plan_periods, decimals, *later->taker, later->texts)
                                : read_price_sequence(prices, max_plan_periods, decimals);
    } else {
        return read_price_list(prices, decimals);
    }
}

// Runs the engine without the GIL. Whatever it throws is caught before the
// GIL is taken back and thrown again afterwards, so that nothing unwinds
// through the released state.
template <class Run>
auto without_gil(Run run) {
    decltype(run()) result;
    std::exception_ptr thrown;
    PyThreadState* state = PyEval_SaveThread();
    try {
        result = run();
    } catch (...) {
        thrown = std::current_exception();
    }
    PyEval_RestoreThread(state);
    if (thrown) {
        std::rethrow_exception(thrown);
    }
    return result;
}

template <Entry entry>
PyObject* answer(std::span<const Decimal> prices, const Decimal& threshold, const CallRules& rules) {
    if constexpr (plans<entry>) {
        try {
            if constexpr (entry == Entry::plan) {
                return selection_to_python(
                    without_gil([&] { return plan(prices, threshold, rules.rules, rules.aggressive); }));
            } else {
                return plan_totals_to_python(
                    without_gil([&] { return plan_with_totals(prices, threshold, rules.rules, rules.aggressive); }));
            }
        } catch (const Abort& abort) {
            // The one abort a caller can provoke: prices whose sums (plan's own,
            // or the totals of its answer) leave the decimal range. Any other
            // is an internal fault.
            if (!is_addition_overflow(abort)) {
                throw;  // the call guard raises PanicException
            }
            PyErr_SetString(PyExc_ValueError, plan_overflow_message);
            return nullptr;
        }
    } else {
        return selection_to_python(get_cheapest_periods(prices, threshold, rules.rules, rules.aggressive));
    }
}

// Converts the arguments in parameter order; false with the exception
// pending. With `later`, what can wait is left to it (plan_many's requests).
template <Entry entry>
bool convert(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PlanInputs& inputs,
             LaterChecks* later = nullptr) {
    std::array<PyObject*, selection_parameters.size()> slots{};
    if (!extract_arguments_fastcall(description<entry>, args, nargs, kwnames, slots)) {
        return false;
    }
    // Held for the whole call: a count's __index__ runs Python code.
    const PyRef prices = PyRef::borrow(slots[prices_slot]);
    if (!accepts_prices<entry>(prices.get())) {
        argument_extraction_error(selection_parameters[prices_slot]);
        return false;
    }
    const PyRef threshold_object = PyRef::borrow(slots[threshold_slot]);
    const std::optional<PriceReading> threshold = read_threshold<entry>(threshold_object.get());
    if (!threshold) {
        argument_extraction_error(selection_parameters[threshold_slot]);
        return false;
    }
    const std::optional<CallRules> rules = extract_rules(slots, selection_parameters, first_count_slot, aggressive_slot);
    if (!rules) {
        return false;
    }
    // After the counts: their __index__ may have changed the prices.
    if (!read_prices<entry>(prices.get(), inputs.prices, later)) {
        return false;
    }
    // After the prices, before the request rules: a price that is no decimal
    // is reported first, and a bad threshold before any rule.
    if (!threshold->ok()) {
        if (later == nullptr || !later->texts) {
            PyErr_SetString(PyExc_ValueError, threshold->invalid.c_str());
            return false;
        }
        later->threshold_error = threshold->invalid;  // once the texts have parsed
    }
    inputs.threshold = threshold->value;
    inputs.rules = *rules;
    return true;
}

template <Entry entry>
PyObject* call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PlanInputs inputs;
    if (!convert<entry>(args, nargs, kwnames, inputs)) {
        return nullptr;
    }
    return answer<entry>(inputs.prices, inputs.threshold, inputs.rules);
}

template <Entry entry>
PyObject* enter(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        return finish_call(call<entry>(args, nargs, kwnames));
    } catch (...) {
        return raise_current_exception(description<entry>.name);
    }
}

}  // namespace

bool convert_plan_arguments(PyObject* const* args, Py_ssize_t nargs, PlanInputs& inputs, LaterChecks& later) {
    return convert<Entry::plan>(args, nargs, nullptr, inputs, &later);
}

PyObject* plan_outcome(const SelectionResult& result, const std::exception_ptr& thrown, const char* entry) noexcept {
    try {
        if (thrown) {
            std::rethrow_exception(thrown);
        }
        return selection_to_python(result);
    } catch (const Abort& abort) {
        if (!is_addition_overflow(abort)) {
            return raise_current_exception(entry);
        }
        PyErr_SetString(PyExc_ValueError, plan_overflow_message);
        return nullptr;
    } catch (...) {
        return raise_current_exception(entry);
    }
}

PyObject* trampoline(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return enter<Entry::get_cheapest_periods>(args, nargs, kwnames);
}

PyObject* plan_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return enter<Entry::plan>(args, nargs, kwnames);
}

PyObject* plan_totals_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return enter<Entry::plan_totals>(args, nargs, kwnames);
}

}  // namespace tariffsieve::py
