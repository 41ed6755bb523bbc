// PanicException, and the translation of aborts, allocation failures and
// stray C++ exceptions into Python exceptions at the interpreter boundary.
#include "call_guard.h"

#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <utility>

#include "decimal/abort.h"
#include "gil_once.h"

namespace tariffsieve::py {
namespace {

constexpr const char panic_name[] = "pyo3_runtime.PanicException";
constexpr const char panic_doc[] =
    "\n"
    "The exception raised when the native code of tariffsieve, called from Python, aborts.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

constexpr const char abort_without_message[] = "tariffsieve aborted without a message";
constexpr const char stray_exception_message[] = "tariffsieve aborted on an unexpected internal error";
constexpr const char resumed_without_message[] = "PanicException without a readable message";

OnceSlot panic_slot;

// The PanicException class, made on first use; null with an exception
// pending when it cannot be made.
PyObject* panic_exception_type() {
    OnceFill once(panic_slot);
    if (PyObject* type = once.existing()) {
        return type;
    }
    return once.fill(PyErr_NewExceptionWithDoc(panic_name, panic_doc, PyExc_BaseException, nullptr));
}

// Raises PanicException(message). Should even that fail (the class cannot be
// made, no memory for the text), the failure's own exception stays pending:
// the caller still gets an exception rather than a dead process.
void raise_panic(const char* message) noexcept {
    try {
        PyObject* type = panic_exception_type();
        if (type == nullptr) {
            ensure_error_set();
            return;
        }
        PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace"));
        if (!text) {
            ensure_error_set();
            return;
        }
        PyErr_SetObject(type, text.get());
    } catch (...) {
        // Only the once-only lock can throw here; no class means no panic.
        PyErr_SetString(PyExc_SystemError, "tariffsieve could not create its PanicException class");
    }
}

// file without the project root that the build put in front of it (when it
// did: the character before the cut must be a path separator).
const char* relative_source_path(const char* file) noexcept {
#ifdef TARIFFSIEVE_SOURCE_ROOT_LENGTH
    constexpr std::size_t root_length = TARIFFSIEVE_SOURCE_ROOT_LENGTH;
    if (root_length > 0 && std::strlen(file) > root_length &&
        (file[root_length - 1] == '/' || file[root_length - 1] == '\\')) {
        return file + root_length;
    }
#endif
    return file;
}

void write_abort_diagnostic(const char* entry, const char* message, const char* file = "unknown", unsigned line = 0) noexcept {
    PySys_FormatStderr("tariffsieve: thread %lu aborted in %s at %s:%u: %s\n", PyThread_get_thread_ident(), entry,
                       relative_source_path(file), line, message);
}

}  // namespace

void ensure_error_set() noexcept {
    if (PyErr_Occurred() == nullptr) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
}

PyObject* raise_current_exception(const char* entry) noexcept {
    try {
        throw;
    } catch (const Abort& abort) {
        const char* message = abort.what();
        if (message == nullptr || *message == '\0') {
            message = abort_without_message;
        }
        write_abort_diagnostic(entry, message, abort.file(), abort.line());
        raise_panic(message);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        write_abort_diagnostic(entry, error.what());
        raise_panic(stray_exception_message);
    } catch (...) {
        write_abort_diagnostic(entry, "unknown exception");
        raise_panic(stray_exception_message);
    }
    return nullptr;
}

PyObject* finish_call(PyObject* result) noexcept {
    if (result == nullptr) {
        ensure_error_set();
        resume_panic_from_python();
    }
    return result;
}

void resume_panic_from_python() noexcept {
    PyObject* panic_type = peek(panic_slot);
    if (panic_type == nullptr || PyErr_Occurred() == nullptr) {
        return;  // no abort yet in this process, so no PanicException to come back
    }
    std::optional<PendingError> panic = take_pending_error(panic_type);
    if (!panic) {
        return;
    }
    PyRef message = PyRef::steal(PyObject_Str(panic->value.get()));
    if (!message) {
        PyErr_Clear();
        message = PyRef::steal(PyUnicode_FromString(resumed_without_message));
        if (!message) {
            restore_pending_error(std::move(*panic));  // keep the original rather than lose both
            return;
        }
    }
    PySys_WriteStderr("tariffsieve: a PanicException of an earlier abort came back through Python code; "
                      "raising it again. Its traceback:\n");
    restore_pending_error(std::move(*panic));
    PyErr_PrintEx(0);
    PyErr_SetObject(panic_type, message.get());
}

std::optional<PendingError> take_pending_error(PyObject* type) noexcept {
    PyObject* raw_type = nullptr;
    PyObject* raw_value = nullptr;
    PyObject* raw_traceback = nullptr;
    PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
    if (raw_type != type) {
        PyErr_Restore(raw_type, raw_value, raw_traceback);
        return std::nullopt;
    }
    PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
    PendingError error{PyRef::steal(raw_type), PyRef::steal(raw_value), PyRef::steal(raw_traceback)};
    if (raw_type != type || raw_value == nullptr) {
        restore_pending_error(std::move(error));
        return std::nullopt;  // normalising failed; what it raised is the error now
    }
    if (raw_traceback != nullptr) {
        PyException_SetTraceback(raw_value, raw_traceback);
    }
    return error;
}

void restore_pending_error(PendingError&& error) noexcept {
    PyErr_Restore(error.type.release(), error.value.release(), error.traceback.release());
}

void abort_on_api_failure() {
    if (PyErr_Occurred() != nullptr) {
        PyErr_Print();
    }
    throw Abort("Python API call failed");
}

}  // namespace tariffsieve::py
