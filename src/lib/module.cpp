// Module initialisation: PyInit_tariffsieve, the module and method
// definitions, the one-interpreter rule and the cached module object.
#include "py_ref.h"

#include <atomic>
#include <cstdint>

#include "call_guard.h"
#include "conversions.h"
#include "function_doc.h"
#include "gil_once.h"
#include "interned.h"
#include "plan_doc.h"
#include "plan_entry.h"
#include "trampoline.h"

namespace tariffsieve::py {
namespace {

constexpr int module_api_version = 1013;

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tariffsieve",
    "Choose the cheapest periods of a price series under timing rules, with exact decimal arithmetic.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyMethodDef function_def = {
    "get_cheapest_periods",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&trampoline)),
    METH_FASTCALL | METH_KEYWORDS,
    function_doc,
};

PyMethodDef plan_def = {
    "plan",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&plan_entry)),
    METH_FASTCALL | METH_KEYWORDS,
    plan_doc,
};

// The objects this library makes belong to one interpreter: the first one to
// import it. Others are turned away.
std::atomic<std::int64_t> recorded_interpreter{-1};
OnceSlot cached_module;

// Adds the function of that definition to the module and its __all__.
bool add_function(PyObject* module, PyMethodDef& definition) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) {
        return false;
    }
    PyRef function = PyRef::steal(PyCMethod_New(&definition, module, module_name.get(), nullptr));
    if (!function) {
        return false;
    }
    PyObject* name_attribute = dunder_name();
    if (name_attribute == nullptr) {
        return false;
    }
    PyRef name = PyRef::steal(PyObject_GetAttr(function.get(), name_attribute));
    if (!name) {
        return false;
    }
    if (!PyUnicode_Check(name.get())) {
        raise_cast_error(name.get(), "str");
        return false;
    }

    PyObject* all_attribute = dunder_all();
    if (all_attribute == nullptr) {
        return false;
    }
    PyRef all = PyRef::steal(PyObject_GetAttr(module, all_attribute));
    if (!all) {
        if (PyErr_ExceptionMatches(PyExc_AttributeError) == 0) {
            return false;
        }
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttr(module, all_attribute, all.get()) < 0) {
            return false;
        }
    } else if (!PyList_Check(all.get())) {
        raise_cast_error(all.get(), "list");
        return false;
    }
    if (PyList_Append(all.get(), name.get()) < 0) {
        return false;
    }
    return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

PyObject* initialise() {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter == -1) {
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!recorded_interpreter.compare_exchange_strong(expected, interpreter, std::memory_order_seq_cst) &&
        expected != interpreter) {
        PyErr_SetString(PyExc_ImportError,
                        "tariffsieve does not support sub-interpreters: another interpreter of this process "
                        "has imported it");
        return nullptr;
    }

    PyObject* module = peek(cached_module);
    if (module == nullptr) {
        auto lock = lock_releasing_gil(cached_module);
        module = peek(cached_module);
        if (module == nullptr) {
            PyRef created = PyRef::steal(PyModule_Create2(&module_def, module_api_version));
            if (!created || !add_function(created.get(), function_def) ||
                !add_function(created.get(), plan_def)) {
                return nullptr;  // the next import starts afresh
            }
            module = created.release();
            fill(cached_module, module);
        }
    }
    Py_INCREF(module);
    return module;
}

}  // namespace
}  // namespace tariffsieve::py

PyMODINIT_FUNC PyInit_tariffsieve() {
    using namespace tariffsieve::py;
    try {
        PyObject* module = initialise();
        if (module == nullptr) {
            ensure_error_set();
        }
        return module;
    } catch (...) {
        return raise_current_exception("PyInit_tariffsieve");
    }
}
