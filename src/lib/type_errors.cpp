// Type names for messages, the cast message and the argument wrap.
#include "type_errors.h"

#include <optional>

#include "api_access.h"
#include "call_guard.h"

namespace tariffsieve::py {
namespace {

constexpr const char unknown_type_name[] = "<failed to extract type name>";

}  // namespace

PyRef type_name(PyObject* object) {
    // The type is held: reading __qualname__ may run a metaclass's Python code.
    PyRef type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    PyRef name = PyRef::steal(PyObject_GetAttrString(type.get(), "__qualname__"));
    if (name && PyUnicode_Check(name.get())) {
        return name;
    }
    PyErr_Clear();
    return PyRef::steal(PyUnicode_FromString(unknown_type_name));
}

void raise_cast_error(PyObject* object, const char* expected) {
    PyRef name = type_name(object);
    if (name) {
        PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", name.get(), expected);
    }
}

void argument_extraction_error(const char* parameter) {
    const std::optional<PendingError> error = take_pending_error(PyExc_TypeError);
    if (!error) {
        return;
    }
    PyObject* value = error->value.get();
    PyRef text = PyRef::steal(PyObject_Str(value));
    if (!text) {
        PyErr_Clear();
        text = PyRef::steal(PyUnicode_FromString("<exception str() failed>"));
        if (!text) {
            return;
        }
    }
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", parameter, text.get()));
    if (!message) {
        return;
    }
    PyRef replacement = PyRef::steal(call_one_arg(PyExc_TypeError, message.get()));
    if (!replacement) {
        return;
    }
    PyException_SetCause(replacement.get(), PyException_GetCause(value));  // steals the cause
    PyErr_SetObject(PyExc_TypeError, replacement.get());
}

}  // namespace tariffsieve::py
