// plan_many: many plans in one call. A plan of a day takes some tens of
// microseconds, too short for two hand-overs of the GIL per call to pay off
// on more than one core. So the calling thread converts the requests one
// after another with the GIL held, exactly as plan converts its arguments,
// except for what needs no interpreter: prices given as str are only copied
// as UTF-8 texts, so that the planners read nothing of Python's. Meanwhile a
// pool of native threads parses those texts and plans, each thread a run of
// converted requests at a time; the calling thread, too, plans a run without
// the GIL whenever the others fall behind (with one thread: after each run
// it converts), and once all are converted it plans the rest with them.
// Between runs it also turns the requests planned so far into their answers
// (or exceptions), which need the GIL: so that this happens while the others
// still plan, not all after them, and each result is freed while still in
// the cache. Parsing was some 40 % of a call at 96 periods, and with the GIL
// held it ran on one core only.
#include "batch.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
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

// One request, from its conversion to its answer. The planning threads
// touch only inputs, the texts of later, late, result and thrown, and then
// set planned; the calling thread reads them only once planned is set.
struct BatchItem {
    PlanInputs inputs;
    LaterChecks later;
    bool converted = false;
    LateFailure late = LateFailure::none;
    SelectionResult result;
    std::exception_ptr thrown;  // what the engine threw for it
    PyRef error;                // the exception its conversion raised
    std::atomic<bool> planned{false};
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
    if (item.later.texts.taken && !parse_price_texts(item.later.texts, item.inputs.prices)) {
        return LateFailure::price_text;
    }
    return item.later.threshold_error.empty() ? LateFailure::none : LateFailure::threshold;
}

// Frees a container's storage, not only its elements.
template <class Container>
void release(Container& values) {
    Container().swap(values);
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
    // still in the cache, instead of fresh memory for every request. Texts
    // that did not parse are kept, to word plan's error.
    release(item.inputs.prices);
    if (item.late != LateFailure::price_text) {
        release(item.later.texts.bytes);
        release(item.later.texts.ends);
    }
}

// Where a batch stands, shared by the threads that plan it. (A mutex and a
// condition variable rather than std::atomic::wait, which macOS offers only
// from version 11.)
struct Progress {
    std::atomic<std::size_t> next{0};       // the first request no thread has taken
    std::atomic<std::size_t> converted{0};  // requests converted so far, in order; set under mutex
    std::mutex mutex;
    std::condition_variable more_converted;
};

void wait_for_conversion(Progress& progress, std::size_t count) {
    if (progress.converted.load(std::memory_order_acquire) >= count) {
        return;
    }
    std::unique_lock<std::mutex> lock(progress.mutex);
    progress.more_converted.wait(lock, [&] { return progress.converted.load(std::memory_order_acquire) >= count; });
}

void publish_conversion(Progress& progress, std::size_t count) {
    {
        const std::lock_guard<std::mutex> lock(progress.mutex);
        progress.converted.store(count, std::memory_order_release);
    }
    progress.more_converted.notify_all();
}

void plan_run(std::span<BatchItem> run) noexcept {
    for (BatchItem& item : run) {
        if (item.converted) {
            plan_item(item);
        }
        item.planned.store(true, std::memory_order_release);
    }
}

// Plans the converted requests that no other thread has taken yet, a run of
// `chunk` at a time, each run once it has been converted.
void plan_items(std::span<BatchItem> items, std::size_t chunk, Progress& progress) noexcept {
    for (std::size_t first = progress.next.fetch_add(chunk, std::memory_order_relaxed); first < items.size();
         first = progress.next.fetch_add(chunk, std::memory_order_relaxed)) {
        const std::span<BatchItem> run = items.subspan(first, std::min(chunk, items.size() - first));
        wait_for_conversion(progress, first + run.size());
        plan_run(run);
    }
}

// While it converts, the calling thread plans a run itself (without the GIL)
// whenever more converted runs wait than the `helpers` can take: with one
// thread the batch then goes a run at a time, its requests still in the
// cache when they are planned, instead of converting them all first.
void plan_waiting_run(std::span<BatchItem> items, std::size_t chunk, Progress& progress, std::size_t helpers) {
    const std::size_t converted = progress.converted.load(std::memory_order_relaxed);  // written by this thread only
    std::size_t first = progress.next.load(std::memory_order_relaxed);
    if (first + (helpers + 1) * chunk > converted ||
        !progress.next.compare_exchange_strong(first, first + chunk, std::memory_order_relaxed)) {
        return;  // the helpers have work enough, or have just taken this run
    }
    PyThreadState* state = PyEval_SaveThread();
    plan_run(items.subspan(first, chunk));
    PyEval_RestoreThread(state);
}

// Requests a thread takes at once: runs long enough that threads seldom meet
// on the counter, short enough (some 16 runs a thread) that they finish
// together.
std::size_t chunk_size(std::size_t requests, std::size_t threads) {
    return std::clamp<std::size_t>(requests / (threads * 16), 1, 32);
}

// Starts up to `count` threads that plan requests as they are converted.
// Should a thread not start, the others plan its share.
std::vector<std::thread> start_planners(std::span<BatchItem> items, std::size_t chunk, Progress& progress,
                                        std::size_t count) {
    std::vector<std::thread> pool;
    try {
        pool.reserve(count);
        while (pool.size() < count) {
            pool.emplace_back(plan_items, items, chunk, std::ref(progress));
        }
    } catch (...) {
        // std::system_error or std::bad_alloc: fewer threads, same answers.
    }
    return pool;
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

// The answers in request order: each plan's list, or its exception, built
// by the calling thread with the GIL held as the requests are planned.
struct Answers {
    PyRef list;
    std::size_t built = 0;  // the first request without its answer
    bool failed = false;    // not even the exception could be made for one
};

PyObject* answer(BatchItem& item) {
    PyObject* answer = !item.converted                  ? item.error.release()
                       : item.late != LateFailure::none ? late_error(item)
                                                        : plan_outcome(item.result, item.thrown, entry_name);
    return answer != nullptr ? answer : take_exception().release();
}

// Builds the answers of the requests planned so far, in order.
void build_answers(std::span<BatchItem> items, Answers& answers) {
    for (; !answers.failed && answers.built < items.size(); ++answers.built) {
        BatchItem& item = items[answers.built];
        if (!item.planned.load(std::memory_order_acquire)) {
            return;  // still being planned: its answer comes at a later turn
        }
        PyObject* built = answer(item);
        if (built == nullptr) {
            answers.failed = true;
            return;
        }
        fill_list_item(answers.list.get(), static_cast<Py_ssize_t>(answers.built), built);
        release(item.result.indices);
    }
}

// Converts the requests in order with the GIL held, handing them to the
// planning threads a run at a time, so that these plan while the rest are
// converted; plans a run itself when they fall behind, and builds the
// answers of the runs planned by then. False, with the exception pending,
// when Ctrl-C stops the batch (as it would a loop of plan calls); the
// requests not converted by then are left alone by the planners.
bool convert_all(PyObject* requests, std::span<BatchItem> items, std::size_t chunk, Progress& progress,
                 std::size_t helpers, Answers& answers) {
    bool interrupted = false;
    for (std::size_t i = 0; i < items.size() && !interrupted; ++i) {
        interrupted = PyErr_CheckSignals() < 0;
        if (!interrupted) {
            convert_request(tuple_item(requests, static_cast<Py_ssize_t>(i)), items[i]);
        }
        if ((i + 1) % chunk == 0 && !interrupted) {
            publish_conversion(progress, i + 1);
            plan_waiting_run(items, chunk, progress, helpers);
            build_answers(items, answers);
        }
    }
    if (interrupted) {
        progress.next.store(items.size(), std::memory_order_relaxed);  // no more runs to take
    }
    publish_conversion(progress, items.size());
    return !interrupted;
}

// Converts, plans and answers every request: the calling thread converts
// with the GIL held while up to threads - 1 more plan, then plans with them
// without the GIL, and answers the rest once they are done. False with an
// exception pending when the batch stops short.
bool run_batch(PyObject* requests, std::span<BatchItem> items, std::size_t threads, Answers& answers) {
    Progress progress;
    const std::size_t chunk = chunk_size(items.size(), threads);
    std::vector<std::thread> pool = start_planners(items, chunk, progress, threads - 1);
    const bool converted = convert_all(requests, items, chunk, progress, pool.size(), answers);
    PyThreadState* state = PyEval_SaveThread();
    if (converted) {
        plan_items(items, chunk, progress);
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    PyEval_RestoreThread(state);
    if (!converted) {
        return false;
    }
    build_answers(items, answers);
    if (answers.failed) {
        PyErr_NoMemory();  // what keeps an exception from being made
        return false;
    }
    return true;
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
    const Py_ssize_t count = tuple_size(requests.get());
    Answers answers{PyRef::steal(PyList_New(count))};
    if (!answers.list) {
        return nullptr;
    }
    std::vector<BatchItem> items(static_cast<std::size_t>(count));
    if (!run_batch(requests.get(), items, std::min(*threads, std::max<std::size_t>(items.size(), 1)), answers)) {
        return nullptr;
    }
    return answers.list.release();
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
