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

// Stores a new reference in the slot (called with its lock held).
inline void fill(OnceSlot& slot, PyObject* owned) noexcept { slot.object.store(owned, std::memory_order_release); }

}  // namespace tariffsieve::py
