// Taking a once-only lock without holding the GIL while waiting for it.
#include "gil_once.h"

namespace tariffsieve::py {

std::unique_lock<std::mutex> lock_releasing_gil(OnceSlot& slot) {
    std::unique_lock<std::mutex> lock(slot.mutex, std::defer_lock);
    PyThreadState* state = PyEval_SaveThread();
    try {
        lock.lock();
    } catch (...) {
        PyEval_RestoreThread(state);  // the GIL must be ours again before anything unwinds further
        throw;
    }
    PyEval_RestoreThread(state);
    return lock;
}

}  // namespace tariffsieve::py
