// Argument binding: positional arguments first, then keywords by name, then
// the check for missing required parameters.
#include "binding.h"

#include <string>
#include <string_view>
#include <vector>

#include "api_access.h"

namespace tariffsieve::py {
namespace {

std::string display_name(const FunctionDescription& description) { return std::string(description.name) + "()"; }

void raise_too_many_positional(const FunctionDescription& description, Py_ssize_t nargs) {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                 display_name(description).c_str(), description.required, description.parameters.size(), nargs,
                 nargs == 1 ? "was" : "were");
}

void raise_unexpected_keyword(const FunctionDescription& description, PyObject* keyword) {
    PyRef text = PyRef::steal(PyObject_Str(keyword));
    if (!text) {
        return;
    }
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", display_name(description).c_str(),
                 text.get());
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(std::span<const char* const> names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            list += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        }
        list += '\'';
        list += names[i];
        list += '\'';
    }
    return list;
}

void raise_missing(const FunctionDescription& description, std::span<PyObject*> slots) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < description.required; ++i) {
        if (slots[i] == nullptr) {
            missing.push_back(description.parameters[i]);
        }
    }
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", display_name(description).c_str(),
                 missing.size(), missing.size() == 1 ? "argument" : "arguments", quoted_list(missing).c_str());
}

// Position of the parameter of that name, or parameters.size() for none. A
// name without UTF-8 text (lone surrogates) matches nothing.
std::size_t find_parameter(const FunctionDescription& description, PyObject* keyword) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(keyword) ? PyUnicode_AsUTF8AndSize(keyword, &size) : nullptr;
    if (text == nullptr) {
        PyErr_Clear();
        return description.parameters.size();
    }
    std::string_view name(text, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < description.parameters.size(); ++i) {
        if (name == description.parameters[i]) {
            return i;
        }
    }
    return description.parameters.size();
}

}  // namespace

bool extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames, std::span<PyObject*> slots) {
    const std::size_t parameter_count = description.parameters.size();
    const std::size_t positional = static_cast<std::size_t>(nargs);
    if (positional > parameter_count) {
        raise_too_many_positional(description, nargs);
        return false;
    }
    for (std::size_t i = 0; i < positional; ++i) {
        slots[i] = args[i];
    }

    const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : tuple_size(kwnames);
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
        PyObject* keyword = tuple_item(kwnames, k);
        const std::size_t i = find_parameter(description, keyword);
        if (i == parameter_count) {
            raise_unexpected_keyword(description, keyword);
            return false;
        }
        if (slots[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                         display_name(description).c_str(), description.parameters[i]);
            return false;
        }
        slots[i] = args[nargs + k];
    }

    for (std::size_t i = positional; i < description.required; ++i) {
        if (slots[i] == nullptr) {
            raise_missing(description, slots);
            return false;
        }
    }
    return true;
}

}  // namespace tariffsieve::py
