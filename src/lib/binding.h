// Binding of a fast-call's positional and keyword arguments to the
// parameters of a function, with the interpreter's usual TypeError wording.
#pragma once

#include "py_ref.h"

#include <array>
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

// The seven parameters that get_cheapest_periods and plan share, in order,
// and the slots they bind to; the four counts follow one another from
// first_count_slot, in the order of TimingRules' members.
inline constexpr std::array<const char*, 7> selection_parameters = {
    "prices",
    "low_price_threshold",
    "min_selections",
    "min_consecutive_periods",
    "max_gap_between_periods",
    "max_gap_from_start",
    "aggressive",
};
inline constexpr std::size_t prices_slot = 0;
inline constexpr std::size_t threshold_slot = 1;
inline constexpr std::size_t first_count_slot = 2;
inline constexpr std::size_t aggressive_slot = 6;

// Fills one slot per parameter with a borrowed reference to its argument, or
// leaves it null when the call does not mention the parameter. On failure
// raises TypeError and returns false.
bool extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames, std::span<PyObject*> slots);

}  // namespace tariffsieve::py
