// plan_many: many plans in one call. A plan of a day takes some tens of
// microseconds, too short for two hand-overs of the GIL per call to pay off
// on more than one core. So the requests are converted one after another
// with the GIL held, exactly as plan converts its arguments, except for
// what needs no interpreter: prices given as str are only taken as UTF-8
// texts (their strs kept alive). The GIL is then released once while a pool
// of native threads parses those texts and plans, each thread a run of
// requests at a time; and the answers, or each request's exception, are
// built with the GIL held again. Parsing was some 40 % of a call at 96
// periods, and with the GIL held it ran on one core only.
#include "batch.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "api_access.h"
#include "arguments.h"
#include "binding.h"
#include "call_guard.h"
#include "engine/plan.h"
#include "entries.h"
#include "type_errors.h"

namespace tariffsieve::py {
namespace {

constexpr std::array<const char*, 2> batch_parameters = {"requests", "threads"};
constexpr FunctionDescription batch_description = {"plan_many", batch_parameters, 1};
constexpr const char entry_name[] = "plan_many";

// Which of the checks left until the prices are parsed failed.
enum class LateFailure { none, price_text, threshold };

// One request, from its conversion to its outcome. The planning threads
// touch only inputs, the texts of later (never its references), late,
// result and thrown.
struct BatchItem {
    PlanInputs inputs;
    LaterChecks later;
    bool converted = false;
    LateFailure late = LateFailure::none;
    SelectionResult result;
    std::exception_ptr thrown;  // what the engine threw for it
    PyRef error;                // the exception its conversion raised
};

// The pending exception as an object, with its traceback, for the list.
PyRef take_exception() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr && traceback != nullptr) {
        PyException_SetTraceback(value, traceback);
    }
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return PyRef::steal(value);
}

// How many threads plan: one per core unless the caller says; nothing with
// an exception pending for a count that is no positive int.
std::optional<std::size_t> read_threads(PyObject* threads) {
    if (threads == nullptr || threads == Py_None) {
        return std::max(1u, std::thread::hardware_concurrency());
    }
    const std::optional<std::uint64_t> count = extract_count(threads);
    if (!count) {
        argument_extraction_error(batch_parameters[1]);
        return std::nullopt;
    }
    if (*count == 0) {
        PyErr_SetString(PyExc_ValueError, "plan_many() threads must be at least 1");
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(*count, SIZE_MAX));
}

// Converts one request, a tuple of plan's arguments, as plan converts them.
// A request that does not convert keeps the exception plan would raise.
void convert_request(PyObject* request, BatchItem& item) {
    try {
        if (!PyTuple_Check(request)) {
            raise_cast_error(request, "tuple");
            argument_extraction_error(batch_parameters[0]);
        } else {
            // Copied out, since the limited API has no array of a tuple's
            // items; more than plan takes are only counted.
            std::array<PyObject*, selection_parameters.size()> args{};
            const Py_ssize_t count = tuple_size(request);
            for (Py_ssize_t i = 0; i < std::min<Py_ssize_t>(count, args.size()); ++i) {
                args[static_cast<std::size_t>(i)] = tuple_item(request, i);
            }
            item.converted = convert_plan_arguments(args.data(), count, item.inputs, item.later);
        }
        if (!item.converted) {
            finish_call(nullptr);  // as plan ends a call that failed
        }
    } catch (...) {
        raise_current_exception(entry_name);
    }
    if (!item.converted) {
        item.error = take_exception();
    }
}

// The checks that plan makes before it plans and that were left until now,
// in plan's order: each price text a decimal, then the threshold.
LateFailure late_checks(BatchItem& item) {
    if (!item.later.texts.texts.empty() && !parse_price_texts(item.later.texts, item.inputs.prices)) {
        return LateFailure::price_text;
    }
    return item.later.threshold_error.empty() ? LateFailure::none : LateFailure::threshold;
}

// Frees a vector's storage, not only its elements.
template <class T>
void release(std::vector<T>& values) {
    std::vector<T>().swap(values);
}

void plan_item(BatchItem& item) noexcept {
    try {
        item.late = late_checks(item);
        if (item.late == LateFailure::none) {
            const PlanInputs& in = item.inputs;
            item.result = plan(in.prices, in.threshold, in.rules.rules, in.rules.aggressive);
        }
    } catch (...) {
        item.thrown = std::current_exception();
    }
    // Done with: the next request on this thread takes the same memory,
    // still in the cache, instead of fresh memory for every request.
    release(item.inputs.prices);
    release(item.later.texts.texts);
}

// Plans the converted requests that no other thread has taken yet, a run of
// `chunk` at a time.
void plan_items(std::span<BatchItem> items, std::size_t chunk, std::atomic<std::size_t>& next) noexcept {
    for (std::size_t first = next.fetch_add(chunk, std::memory_order_relaxed); first < items.size();
         first = next.fetch_add(chunk, std::memory_order_relaxed)) {
        for (BatchItem& item : items.subspan(first, std::min(chunk, items.size() - first))) {
            if (item.converted) {
                plan_item(item);
            }
        }
    }
}

// Requests a thread takes at once: runs long enough that threads seldom meet
// on the counter, short enough (some 16 runs a thread) that they finish
// together.
std::size_t chunk_size(std::size_t requests, std::size_t threads) {
    return std::clamp<std::size_t>(requests / (threads * 16), 1, 32);
}

// Plans every request with the GIL released, on the calling thread and up to
// threads - 1 more. Should a thread not start, those that did plan the rest.
void plan_all(std::span<BatchItem> items, std::size_t threads) {
    std::atomic<std::size_t> next{0};
    const std::size_t chunk = chunk_size(items.size(), threads);
    std::vector<std::thread> pool;
    PyThreadState* state = PyEval_SaveThread();
    try {
        pool.reserve(threads - 1);
        while (pool.size() + 1 < threads) {
            pool.emplace_back(plan_items, items, chunk, std::ref(next));
        }
    } catch (...) {
        // std::system_error or std::bad_alloc: fewer threads, same answers.
    }
    plan_items(items, chunk, next);
    for (std::thread& thread : pool) {
        thread.join();
    }
    PyEval_RestoreThread(state);
}

// The exception plan raises for a request that failed a late check.
PyObject* late_error(const BatchItem& item) noexcept {
    try {
        if (item.late == LateFailure::price_text) {
            raise_price_texts_error(item.later.texts);
        } else {
            PyErr_SetString(PyExc_ValueError, item.later.threshold_error.c_str());
        }
    } catch (...) {
        raise_current_exception(entry_name);
    }
    finish_call(nullptr);
    return take_exception().release();
}

// The answers in request order: each plan's list, or its exception.
PyObject* answers(std::span<BatchItem> items) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) {
        return nullptr;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        BatchItem& item = items[i];
        PyObject* answer = !item.converted                  ? item.error.release()
                           : item.late != LateFailure::none ? late_error(item)
                                                            : plan_outcome(item.result, item.thrown, entry_name);
        if (answer == nullptr) {
            answer = take_exception().release();
        }
        if (answer == nullptr) {
            return nullptr;  // not even the exception could be made
        }
        fill_list_item(list.get(), static_cast<Py_ssize_t>(i), answer);
    }
    return list.release();
}

PyObject* plan_many(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, batch_parameters.size()> slots{};
    if (!extract_arguments_fastcall(batch_description, args, nargs, kwnames, slots)) {
        return nullptr;
    }
    const std::optional<std::size_t> threads = read_threads(slots[1]);
    if (!threads) {
        return nullptr;
    }
    // A tuple of its own: converting a request runs Python code (a count's
    // __index__), which could change the caller's list.
    const PyRef requests = PyRef::steal(PySequence_Tuple(slots[0]));
    if (!requests) {
        argument_extraction_error(batch_parameters[0]);
        return nullptr;
    }
    std::vector<BatchItem> items(static_cast<std::size_t>(tuple_size(requests.get())));
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Ctrl-C stops the whole batch, as it would a loop of plan calls.
        if (PyErr_CheckSignals() < 0) {
            return nullptr;
        }
        convert_request(tuple_item(requests.get(), static_cast<Py_ssize_t>(i)), items[i]);
    }
    plan_all(items, std::min(*threads, std::max<std::size_t>(items.size(), 1)));
    return answers(items);
}

}  // namespace

PyObject* plan_many_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        return finish_call(plan_many(args, nargs, kwnames));
    } catch (...) {
        return raise_current_exception(entry_name);
    }
}

}  // namespace tariffsieve::py
