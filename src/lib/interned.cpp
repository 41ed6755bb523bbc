// Interned "__all__" and "__name__", made once under the GIL-releasing lock.
#include "interned.h"

#include "gil_once.h"

namespace tariffsieve::py {
namespace {

OnceSlot all_slot;
OnceSlot name_slot;

PyObject* interned(OnceSlot& slot, const char* text) {
    OnceFill once(slot);
    if (PyObject* name = once.existing()) {
        return name;
    }
    return once.fill(PyUnicode_InternFromString(text));
}

}  // namespace

PyObject* dunder_all() { return interned(all_slot, "__all__"); }
PyObject* dunder_name() { return interned(name_slot, "__name__"); }

}  // namespace tariffsieve::py
