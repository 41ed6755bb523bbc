// The result list of both functions and the ValueError of an engine error.
#include "results.h"

#include "api_access.h"
#include "call_guard.h"

namespace tariffsieve::py {

PyObject* selection_to_python(const SelectionResult& result) {
    if (!result.ok()) {
        PyErr_SetString(PyExc_ValueError, result.error.c_str());
        return nullptr;
    }
    return index_list(result.indices).release();
}

PyRef index_list(std::span<const std::uint64_t> indices) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(indices.size())));
    if (!list) {
        abort_on_api_failure();
    }
    for (std::size_t i = 0; i < indices.size(); ++i) {
        PyObject* number = PyLong_FromUnsignedLongLong(indices[i]);
        if (number == nullptr) {
            abort_on_api_failure();
        }
        fill_list_item(list.get(), static_cast<Py_ssize_t>(i), number);
    }
    return list;
}

}  // namespace tariffsieve::py
