// The call guard around both entries from the interpreter (the module's
// initialiser and the function's trampoline): turns every failure into a
// pending Python exception, and owns the PanicException class.
#pragma once

#include "py_ref.h"

#include <optional>

namespace tariffsieve::py {

// Makes sure a failed interpreter call has left an exception pending: one that
// reported failure without setting any becomes a SystemError.
void ensure_error_set() noexcept;

// To be called from inside a catch handler: turns the C++ exception being
// handled into the pending Python exception and returns null. An abort
// becomes PanicException (after a diagnostic on standard error),
// std::bad_alloc becomes MemoryError, anything else a PanicException with a
// fixed message. `entry` names the guarded entry in the diagnostic.
PyObject* raise_current_exception(const char* entry) noexcept;

// When the pending exception is a PanicException that came back through
// Python code (an __index__ method that re-raised one, say), reports it with
// its traceback on standard error and replaces it by a fresh PanicException
// with the same message.
void resume_panic_from_python() noexcept;

// The end of a guarded entry's call: passes a result through, and for a
// failure (null) makes sure an exception is pending and resumes a
// PanicException that came back through Python code.
PyObject* finish_call(PyObject* result) noexcept;

// An exception taken out of the interpreter's error state, normalised.
struct PendingError {
    PyRef type;
    PyRef value;
    PyRef traceback;  // may be null
};

// Takes the pending exception out when its class is exactly `type` (and it
// normalises), with its traceback attached to the value; otherwise leaves
// the error state as it is and returns nothing.
std::optional<PendingError> take_pending_error(PyObject* type) noexcept;

// Makes error the pending exception again.
void restore_pending_error(PendingError&& error) noexcept;

// Reports a failed interpreter call while the result is built (prints the
// pending exception) and aborts with "Python API call failed".
[[noreturn]] void abort_on_api_failure();

}  // namespace tariffsieve::py
