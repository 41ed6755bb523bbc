// The results of the functions and the ValueError of an engine error.
#include "results.h"

#include <string>

#include "api_access.h"
#include "call_guard.h"

namespace tariffsieve::py {
namespace {

// Takes over a new reference from an API call that builds the result;
// aborts if the interpreter could not make it.
PyRef made(PyObject* object) {
    if (object == nullptr) {
        abort_on_api_failure();
    }
    return PyRef::steal(object);
}

PyRef decimal_text(const Decimal& value) {
    const std::string text = to_text(value);
    return made(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

PyRef run_tuple(const PlannedRun& run) {
    const PyRef first = made(PyLong_FromUnsignedLongLong(run.first));
    const PyRef last = made(PyLong_FromUnsignedLongLong(run.last));
    const PyRef total = decimal_text(run.sum.total);
    const PyRef average = decimal_text(run.sum.average);
    return made(PyTuple_Pack(4, first.get(), last.get(), total.get(), average.get()));
}

}  // namespace

PyObject* selection_to_python(const SelectionResult& result) {
    if (!result.ok()) {
        PyErr_SetString(PyExc_ValueError, result.error.c_str());
        return nullptr;
    }
    return index_list(result.indices).release();
}

PyObject* plan_totals_to_python(const PlanWithTotals& answer) {
    if (!answer.selection.ok()) {
        return selection_to_python(answer.selection);
    }
    const SelectionTotals& totals = answer.totals;
    const PyRef indices = index_list(answer.selection.indices);
    const PyRef total = decimal_text(totals.sum ? totals.sum->total : Decimal::zero());
    const PyRef average = totals.sum ? decimal_text(totals.sum->average) : PyRef::borrow(Py_None);
    const PyRef runs = made(PyList_New(static_cast<Py_ssize_t>(totals.runs.size())));
    for (std::size_t i = 0; i < totals.runs.size(); ++i) {
        fill_list_item(runs.get(), static_cast<Py_ssize_t>(i), run_tuple(totals.runs[i]).release());
    }
    return made(PyTuple_Pack(4, indices.get(), total.get(), average.get(), runs.get())).release();
}

PyRef index_list(std::span<const std::uint64_t> indices) {
    PyRef list = made(PyList_New(static_cast<Py_ssize_t>(indices.size())));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        fill_list_item(list.get(), static_cast<Py_ssize_t>(i), made(PyLong_FromUnsignedLongLong(indices[i])).release());
    }
    return list;
}

}  // namespace tariffsieve::py
