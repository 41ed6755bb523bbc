// plan_many, which plans many requests at once on a pool of native threads.
#pragma once

#include "py_ref.h"

namespace tariffsieve::py {

// Returns a new list with one answer per request, or null with an exception
// pending when the call itself is wrong; never lets a C++ exception escape.
PyObject* plan_many_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

// Its first line and the "--" line are what the interpreter turns into
// __text_signature__; the stub repeats the rest.
inline constexpr char plan_many_doc[] =
    "plan_many(requests, threads=None)\n"
    "--\n"
    "\n"
    "Plan many requests at once, on several cores\n"
    "\n"
    "Each request is a tuple of plan's arguments in plan's order, from prices to\n"
    "aggressive; the ones with defaults may be left out. The requests are converted\n"
    "one after another with the GIL held, then planned on a pool of native threads\n"
    "with the GIL released once for all of them.\n"
    "\n"
    "# Parameters\n"
    "- `requests`: Iterable of tuples of plan's arguments\n"
    "- `threads`: How many threads plan them, the calling one included; None for one\n"
    "  per core\n"
    "\n"
    "# Returns\n"
    "A list in request order: for each request the list plan returns for it, or the\n"
    "exception plan would raise for it (not raised). One request's error never affects\n"
    "another's answer.\n"
    "\n"
    "# Raises\n"
    "- `TypeError`: `requests` is not iterable; `threads` is not an int or None\n"
    "- `ValueError`: `threads` is 0\n"
    "- `OverflowError`: `threads` is negative";

}  // namespace tariffsieve::py
