// Module initialisation: PyInit_tariffsieve, the module and method
// definitions, the one-interpreter rule and the cached module object.
#include "py_ref.h"

#include <atomic>
#include <cstdint>
#include <utility>

#include "batch.h"
#include "call_guard.h"
#include "entries.h"
#include "function_doc.h"
#include "gil_once.h"
#include "interned.h"
#include "plan_doc.h"
#include "plan_totals_doc.h"
#include "type_errors.h"

namespace tariffsieve::py {
namespace {

constexpr int module_api_version = 1013;

// Single-phase initialisation, on purpose: the library keeps process-wide
// objects (the PanicException class, interned names, the module itself) that
// belong to the interpreter that made them, so it cannot give each
// interpreter a module of its own as multi-phase initialisation would ask.
// PyInit_tariffsieve hands out one finished module, to one interpreter. The
// function is added after creation (not through m_methods) so that it joins
// __all__ in the same step.
PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "tariffsieve",
    .m_doc = "Choose the cheapest periods of a price series under timing rules, with exact decimal arithmetic.",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

PyMethodDef function_def = {
    .ml_name = "get_cheapest_periods",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&trampoline)),
    .ml_flags = METH_FASTCALL | METH_KEYWORDS,
    .ml_doc = function_doc,
};

PyMethodDef plan_def = {
    .ml_name = "plan",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&plan_entry)),
    .ml_flags = METH_FASTCALL | METH_KEYWORDS,
    .ml_doc = plan_doc,
};

PyMethodDef plan_many_def = {
    .ml_name = "plan_many",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&plan_many_entry)),
    .ml_flags = METH_FASTCALL | METH_KEYWORDS,
    .ml_doc = plan_many_doc,
};

PyMethodDef plan_totals_def = {
    .ml_name = "plan_totals",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&plan_totals_entry)),
    .ml_flags = METH_FASTCALL | METH_KEYWORDS,
    .ml_doc = plan_totals_doc,
};

// The objects this library makes belong to one interpreter: the first one to
// import it. Others are turned away.
std::atomic<std::int64_t> recorded_interpreter{-1};
OnceSlot cached_module;

// The function object bound to module, and its __name__ (a str); null
// references with an exception pending on failure.
struct NamedFunction {
    PyRef function;
    PyRef name;
};

NamedFunction make_function(PyObject* module, PyMethodDef& definition) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) {
        return {};
    }
    PyRef function = PyRef::steal(PyCMethod_New(&definition, module, module_name.get(), nullptr));
    if (!function) {
        return {};
    }
    PyObject* name_attribute = dunder_name();
    if (name_attribute == nullptr) {
        return {};
    }
    PyRef name = PyRef::steal(PyObject_GetAttr(function.get(), name_attribute));
    if (!name) {
        return {};
    }
    if (!PyUnicode_Check(name.get())) {
        raise_cast_error(name.get(), "str");
        return {};
    }
    return {std::move(function), std::move(name)};
}

// The module's __all__ list, made empty when the module has none yet; null
// with an exception pending on failure.
PyRef all_list(PyObject* module) {
    PyObject* all_attribute = dunder_all();
    if (all_attribute == nullptr) {
        return {};
    }
    PyRef all = PyRef::steal(PyObject_GetAttr(module, all_attribute));
    if (!all) {
        if (PyErr_ExceptionMatches(PyExc_AttributeError) == 0) {
            return {};
        }
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttr(module, all_attribute, all.get()) < 0) {
            return {};
        }
    } else if (!PyList_Check(all.get())) {
        raise_cast_error(all.get(), "list");
        return {};
    }
    return all;
}

// Adds the function of that definition to the module and its __all__.
bool add_function(PyObject* module, PyMethodDef& definition) {
    const NamedFunction function = make_function(module, definition);
    if (!function.name) {
        return false;
    }
    const PyRef all = all_list(module);
    if (!all || PyList_Append(all.get(), function.name.get()) < 0) {
        return false;
    }
    return PyObject_SetAttr(module, function.name.get(), function.function.get()) == 0;
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

    // One module object for the process, made by the first import and handed
    // out again on re-import: the interpreter check above makes sure that
    // only the interpreter that owns it ever sees it.
    OnceFill once(cached_module);
    PyObject* module = once.existing();
    if (module == nullptr) {
        PyRef created = PyRef::steal(PyModule_Create2(&module_def, module_api_version));
        if (!created || !add_function(created.get(), function_def) || !add_function(created.get(), plan_def) ||
            !add_function(created.get(), plan_many_def)) {
            return nullptr;  // the next import starts afresh
        }
        // Last, so that it follows plan and its other siblings in __all__.
        if (!add_function(created.get(), plan_totals_def)) {
            return nullptr;
        }
        // The package's version, fixed by the build; not in __all__, as a
        // star import is for the functions.
        if (PyModule_AddStringConstant(created.get(), "__version__", TARIFFSIEVE_VERSION) < 0) {
            return nullptr;
        }
#ifdef Py_GIL_DISABLED
        // Calls share nothing but the once-only objects, which are set under
        // their own locks, and read the caller's lists through references of
        // their own: a free-threaded interpreter may keep the GIL off.
        if (PyUnstable_Module_SetGIL(created.get(), Py_MOD_GIL_NOT_USED) < 0) {
            return nullptr;
        }
#endif
        module = once.fill(created.release());
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
