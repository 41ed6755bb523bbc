// Interned "__all__" and "__name__", made once under the GIL-releasing lock.
#include "interned.h"

#include "gil_once.h"

namespace tariffsieve::py {
namespace {

OnceSlot all_slot;
OnceSlot name_slot;

PyObject* interned(OnceSlot& slot, const char* text) {
    if (PyObject* name = peek(slot)) {
        return name;
    }
    auto lock = lock_releasing_gil(slot);
    if (PyObject* name = peek(slot)) {
        return name;
    }
    PyObject* name = PyUnicode_InternFromString(text);
    if (name != nullptr) {
        fill(slot, name);
    }
    return name;
}

}  // namespace

PyObject* dunder_all() { return interned(all_slot, "__all__"); }
PyObject* dunder_name() { return interned(name_slot, "__name__"); }

}  // namespace tariffsieve::py
