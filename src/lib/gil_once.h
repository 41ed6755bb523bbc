// Once-only initialisation of the module's few process-wide Python objects.
// The lock is taken with the GIL released, so that a thread waiting for it
// never blocks the thread that holds it and needs the GIL to finish.
#pragma once

#include "py_ref.h"

#include <atomic>
#include <mutex>

namespace tariffsieve::py {

// A slot that is set at most once and then keeps its strong reference until
// the process ends.
struct OnceSlot {
    std::atomic<PyObject*> object{nullptr};
    std::mutex mutex;
};

// The object once it is set, else null. Needs no lock.
inline PyObject* peek(const OnceSlot& slot) noexcept { return slot.object.load(std::memory_order_acquire); }

// Takes the slot's lock: releases the GIL, waits for the lock, takes the GIL
// back. Look at the slot again afterwards: another thread may have set it.
std::unique_lock<std::mutex> lock_releasing_gil(OnceSlot& slot);

// One attempt at filling a slot. When existing() is null the slot is empty
// and this holds its lock until it goes: make the object, then fill() it.
//     OnceFill once(slot);
//     if (PyObject* object = once.existing()) return object;
//     return once.fill(make_the_object());
class OnceFill {
public:
    explicit OnceFill(OnceSlot& slot) : slot_(slot), existing_(peek(slot)) {
        if (existing_ == nullptr) {
            lock_ = lock_releasing_gil(slot);
            existing_ = peek(slot);
        }
    }

    // The object another call has already stored, or null.
    PyObject* existing() const noexcept { return existing_; }

    // Stores a new reference for good and returns it; null (a failure to make
    // it) leaves the slot empty for the next attempt.
    PyObject* fill(PyObject* owned) noexcept {
        if (owned != nullptr) {
            slot_.object.store(owned, std::memory_order_release);
        }
        return owned;
    }

private:
    OnceSlot& slot_;
    PyObject* existing_;
    std::unique_lock<std::mutex> lock_;
};

}  // namespace tariffsieve::py
