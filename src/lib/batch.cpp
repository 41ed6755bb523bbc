// plan_many: many plans in one call. A plan of a day takes some tens of
// microseconds, too short for two hand-overs of the GIL per call to pay off
// on more than one core. So the calling thread converts the requests one
// after another with the GIL held, exactly as plan converts its arguments,
// except for what needs no interpreter: prices given as str are only copied
// as UTF-8 texts, once for all the requests in a row whose prices read the
// same (a fleet planned on one price list), so that the planners read
// nothing of Python's. Meanwhile a pool of native threads parses those
// texts (again once for a row that shares them) and plans, each thread a
// run of converted requests at a time. The calling thread plans a few
// requests itself, without the GIL, whenever more wait than the others will
// take before it has converted the next few; once all are converted it
// plans the rest with them. Between steps it also turns the requests
// planned so far into their answers (or exceptions), which need the GIL: so
// that this happens while the others still plan, not all after them. Each
// thread frees only what it allocated, which keeps the allocator's caches
// and arenas to their own thread.
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

// Requests the calling thread converts, or plans itself, at a time.
constexpr std::size_t own_step = 4;

// Which of the checks left until the prices are parsed failed.
enum class LateFailure { none, price_text, threshold };

// One request, from its conversion to its answer. The planning threads
// read inputs and later, write late, result (into the room made for it)
// and thrown, and then set planned; the calling thread reads what they
// wrote, and frees the request's memory, only once planned is set.
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

// The answer's room, taken by the calling thread once a request converts:
// room for every period, so that the planner copies the answer into it
// without allocating. Each thread frees only what it allocated, which keeps
// the allocator's per-thread caches and arenas to their own thread.
void make_answer_room(BatchItem& item) {
    const std::size_t periods = item.later.texts ? item.later.texts->ends.size() : item.inputs.prices.size();
    item.result.indices.reserve(periods);
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
            if (item.converted) {
                make_answer_room(item);
            }
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

// The decimals a planning thread parsed last, kept for the next request it
// plans on the same texts: a fleet's requests share one price list, which
// is then parsed once a run instead of once a request.
struct ParsedTexts {
    std::uint64_t series = 0;  // the texts' series; 0 before the first
    bool ok = false;           // every text a decimal
    std::vector<Decimal> decimals;
};

// A request's prices: parsed from its texts (or those parsed last, when it
// shares them), or as converted; nothing when a text is no decimal.
std::optional<std::span<const Decimal>> prices_of(const BatchItem& item, ParsedTexts& parsed) {
    const PriceTexts* texts = item.later.texts.get();
    if (texts == nullptr) {
        return item.inputs.prices;
    }
    if (parsed.series != texts->series) {
        parsed.decimals.clear();
        parsed.series = texts->series;
        parsed.ok = parse_price_texts(*texts, parsed.decimals);
    }
    return parsed.ok ? std::optional<std::span<const Decimal>>(parsed.decimals) : std::nullopt;
}

// Frees a container's storage, not only its elements.
template <class Container>
void release(Container& values) {
    Container().swap(values);
}

// Plans one request, after the checks that plan makes before it plans and
// that were left until now, in plan's order: each price text a decimal,
// then the threshold. The answer is copied into the room the calling thread
// made for it, and the engine's own list freed here.
void plan_item(BatchItem& item, ParsedTexts& parsed) noexcept {
    try {
        const std::optional<std::span<const Decimal>> prices = prices_of(item, parsed);
        item.late = !prices                               ? LateFailure::price_text
                    : !item.later.threshold_error.empty() ? LateFailure::threshold
                                                          : LateFailure::none;
        if (item.late == LateFailure::none) {
            const PlanInputs& in = item.inputs;
            SelectionResult found = plan(*prices, in.threshold, in.rules.rules, in.rules.aggressive);
            item.result.indices.assign(found.indices.begin(), found.indices.end());
            item.result.error = std::move(found.error);
        }
    } catch (...) {
        item.thrown = std::current_exception();
    }
}

// Frees what the calling thread allocated for a request, once answered.
void release_request(BatchItem& item) {
    release(item.result.indices);
    release(item.inputs.prices);
    item.later.texts.reset();
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

void plan_run(std::span<BatchItem> run, ParsedTexts& parsed) noexcept {
    for (BatchItem& item : run) {
        if (item.converted) {
            plan_item(item, parsed);
        }
        item.planned.store(true, std::memory_order_release);
    }
}

// Plans the converted requests that no other thread has taken yet, a run of
// `chunk` at a time, each run once it has been converted.
void plan_items(std::span<BatchItem> items, std::size_t chunk, Progress& progress, ParsedTexts& parsed) noexcept {
    for (std::size_t first = progress.next.fetch_add(chunk, std::memory_order_relaxed); first < items.size();
         first = progress.next.fetch_add(chunk, std::memory_order_relaxed)) {
        const std::span<BatchItem> run = items.subspan(first, std::min(chunk, items.size() - first));
        wait_for_conversion(progress, first + run.size());
        plan_run(run, parsed);
    }
}

// A helper thread's work: plan_items with decimals of its own.
void help_plan(std::span<BatchItem> items, std::size_t chunk, Progress& progress) noexcept {
    ParsedTexts parsed;
    plan_items(items, chunk, progress, parsed);
}

// The answers in request order: each plan's list, or its exception, built
// by the calling thread with the GIL held as the requests are planned.
struct Answers {
    PyRef list;
    std::size_t built = 0;  // the first request without its answer
    bool failed = false;    // not even the exception could be made for one
};

// A batch as the calling thread sees it.
struct Batch {
    std::span<BatchItem> items;
    std::size_t chunk = 1;    // requests a helper takes at once
    std::size_t helpers = 0;  // threads planning beside the calling one
    Progress progress;
    TextsTaker taker;    // the calling thread's, as it converts
    ParsedTexts parsed;  // the calling thread's, for the requests it plans
    Answers answers;
};

// While it converts, the calling thread plans a few requests itself
// (without the GIL) whenever more are converted than the `helpers` will take
// before it has converted the next few: so that a helper finishing its run
// always finds the next one converted, and the calling thread never plans
// for long while the helpers run dry.
void plan_waiting_run(Batch& batch) {
    Progress& progress = batch.progress;
    const std::size_t converted = progress.converted.load(std::memory_order_relaxed);  // written by this thread only
    const std::size_t lead = batch.helpers * batch.chunk + own_step;
    std::size_t first = progress.next.load(std::memory_order_relaxed);
    PyThreadState* state = nullptr;
    while (first + lead <= converted) {
        if (progress.next.compare_exchange_weak(first, first + own_step, std::memory_order_relaxed)) {
            if (state == nullptr) {
                state = PyEval_SaveThread();
            }
            plan_run(batch.items.subspan(first, own_step), batch.parsed);
            first = progress.next.load(std::memory_order_relaxed);
        }
    }
    if (state != nullptr) {
        PyEval_RestoreThread(state);
    }
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
            pool.emplace_back(help_plan, items, chunk, std::ref(progress));
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
            raise_price_texts_error(*item.later.texts);
        } else {
            PyErr_SetString(PyExc_ValueError, item.later.threshold_error.c_str());
        }
    } catch (...) {
        raise_current_exception(entry_name);
    }
    finish_call(nullptr);
    return take_exception().release();
}

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
        release_request(item);
    }
}

// Converts the requests in order with the GIL held, handing them to the
// planning threads a run at a time, so that these plan while the rest are
// converted; plans a run itself when they fall behind, and builds the
// answers of the runs planned by then. False, with the exception pending,
// when Ctrl-C stops the batch (as it would a loop of plan calls); the
// requests not converted by then are left alone by the planners.
bool convert_all(PyObject* requests, Batch& batch) {
    const std::span<BatchItem> items = batch.items;
    bool interrupted = false;
    for (std::size_t i = 0; i < items.size() && !interrupted; ++i) {
        interrupted = PyErr_CheckSignals() < 0;
        if (!interrupted) {
            items[i].later.taker = &batch.taker;
            convert_request(tuple_item(requests, static_cast<Py_ssize_t>(i)), items[i]);
        }
        if ((i + 1) % own_step == 0 && !interrupted) {
            publish_conversion(batch.progress, i + 1);
            plan_waiting_run(batch);
            build_answers(items, batch.answers);
        }
    }
    if (interrupted) {
        batch.progress.next.store(items.size(), std::memory_order_relaxed);  // no more runs to take
    }
    publish_conversion(batch.progress, items.size());
    return !interrupted;
}

// Converts, plans and answers every request: the calling thread converts
// with the GIL held while up to threads - 1 more plan, then plans with them
// without the GIL, and answers the rest once they are done. False with an
// exception pending when the batch stops short.
bool run_batch(PyObject* requests, Batch& batch, std::size_t threads) {
    batch.chunk = chunk_size(batch.items.size(), threads);
    std::vector<std::thread> pool = start_planners(batch.items, batch.chunk, batch.progress, threads - 1);
    batch.helpers = pool.size();
    const bool converted = convert_all(requests, batch);
    PyThreadState* state = PyEval_SaveThread();
    if (converted) {
        plan_items(batch.items, batch.chunk, batch.progress, batch.parsed);
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    PyEval_RestoreThread(state);
    if (!converted) {
        return false;
    }
    build_answers(batch.items, batch.answers);
    if (batch.answers.failed) {
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
    std::vector<BatchItem> items(static_cast<std::size_t>(count));
    Batch batch;
    batch.items = items;
    batch.answers.list = PyRef::steal(PyList_New(count));
    if (!batch.answers.list) {
        return nullptr;
    }
    if (!run_batch(requests.get(), batch, std::min(*threads, std::max<std::size_t>(items.size(), 1)))) {
        return nullptr;
    }
    return batch.answers.list.release();
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
