#include "sync_dispatcher.hpp"

#include <chrono>
#include <system_error>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/call.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "batch.hpp"
#include "bell_push.hpp"
#include "consumer.hpp"
#include "dispatcher_core.hpp"
#include "dispatcher_methods.hpp"
#include "dispatcher_setup.hpp"
#include "ring_arguments.hpp"

namespace zelvar::ferrix {
namespace {

using D = SyncDispatcherObject;

// The two wake-up modes, fixed at construction by the `nonblocking` keyword: the consumer sleeps on
// the doorbell, which producers ring when it announced a sleep, or inside the ring's own waiting pop
// (no socket).
enum class WakeUp { doorbell, ring };

WakeUp wake_up(const D* d) { return d->nonblocking ? WakeUp::doorbell : WakeUp::ring; }

// --- push entries: the ring, then (doorbell mode) the doorbell when the consumer may be asleep -------

int try_push_bell(D* d, const char* data, std::size_t size) { return try_push_with_bell<D, false>(d, data, size); }
int try_push_var_bell(D* d, const char* data, std::size_t size) { return try_push_with_bell<D, true>(d, data, size); }

int push(D* d, const char* data, std::size_t size) {
    return accepts_pushes(d) ? ring_table()->push(ring(d->_q), data, size) : spsc::kClosed;
}

int push_var(D* d, const char* data, std::size_t size) {
    return accepts_pushes(d) ? ring_table()->push_var(ring(d->_q), data, size) : spsc::kClosed;
}

// --- consumer bodies --------------------------------------------------------------------------------

constexpr const char* kTryPopContext = "zelvar.utils.ferrix.ferrix.SyncDispatcher._SyncDispatcher__try_pop";
constexpr const char* kTryPopVarContext = "zelvar.utils.ferrix.ferrix.SyncDispatcher._SyncDispatcher__try_pop_var";
constexpr const char* kPopContext = "zelvar.utils.ferrix.ferrix.SyncDispatcher._SyncDispatcher__pop";
constexpr const char* kPopVarContext = "zelvar.utils.ferrix.ferrix.SyncDispatcher._SyncDispatcher__pop_var";

using Clock = std::chrono::steady_clock;

// Deliveries between two looks at the clock (for LockOffer).
constexpr unsigned kClockEvery = 16;

enum class Delivery { made, stopped, failed };

// One callback call with the lock held: callback(bytes) for the message in hand, or with batch N
// callback(list) of it and what else waits, up to N. close clears the run flag with the lock held,
// so the flag is read under the lock, after anything that may run Python code (creating the list
// may start a collection): no callback starts once close has returned, and no message taken from
// the ring is dropped after the check. A raising callback is reported and ends the consumer.
template <class TryPop>
Delivery deliver(ConsumerState* st, const char* data, std::size_t size, TryPop try_pop, const char* context,
                 py::MessageBytes& bytes) {
    py::Ref arg;
    if (st->batch == 0) {
        if (!st->running.load(std::memory_order_acquire)) return Delivery::stopped;
        arg.reset(bytes.make(data, size));
    } else {
        py::Ref list(PyList_New(0));
        if (list && !st->running.load(std::memory_order_acquire)) return Delivery::stopped;
        if (list && fill_batch(list.get(), data, size, st->batch, try_pop)) arg = std::move(list);
    }
    py::Ref result(arg ? py::call_one(st->callback_ref, arg.get()) : nullptr);
    if (result) return Delivery::made;
    py::write_unraisable(context);
    return Delivery::failed;
}

// The lock, kept across deliveries, is offered once per switch interval to callbacks that run no
// bytecode, which would otherwise keep every other thread out for as long as messages wait. A
// callback made of bytecode hands it over at the interpreter's request by itself, and is offered
// nothing more: an offer nobody asked for only gives the lock away.
struct LockOffer {
    Clock::time_point last = Clock::now();

    void look(const ConsumerState* st) {
        const Clock::time_point now = Clock::now();
        if (now - last < st->switch_interval) return;
        PyThreadState* self = PyEval_SaveThread();
        PyEval_RestoreThread(self);
        last = Clock::now();
    }
};

// Delivers the message in hand, then keeps delivering while messages wait, under one acquisition
// of the lock: giving it away after a fixed burst would make the consumer win it back against a
// busy thread, which keeps it for a whole switch interval. The lock changes hands when the
// interpreter's switch request says so. A ring run dry is polled briefly before the lock goes.
// `release_first` frees the slot a waiting pop holds, once its message is copied out. False when
// the consumer must end.
template <class TryPop>
bool deliver_while_waiting(ConsumerState* st, const char* data, std::size_t size, TryPop try_pop, const char* context,
                           void (*release_first)(SPSCQueueObject*) = nullptr) {
    if (process_exiting()) return false;
    const PyGILState_STATE gil = PyGILState_Ensure();
    Delivery outcome;
    {
        LockOffer offer;
        py::MessageBytes bytes;
        for (unsigned n = 1;; ++n) {
            outcome = deliver(st, data, size, try_pop, context, bytes);
            if (outcome != Delivery::made) break;
            if (release_first) {
                release_first(st->ring);
                release_first = nullptr;
            }
            if (!ConsumerState::spin_briefly([&] { return try_pop(&data, &size) == 1; })) break;
            if (n % kClockEvery == 0 && !py::runs_bytecode(st->callback_ref)) offer.look(st);
        }
    }
    PyGILState_Release(gil);
    return outcome != Delivery::failed;
}

// Doorbell mode: try the ring; when empty, announce, look again, then sleep on the doorbell.
template <bool Var>
void consume_doorbell(ConsumerState* st) {
    auto try_pop = [st](const char** data, std::size_t* size) {
        return Var ? ring_table()->try_pop_var(st->ring, data, size) : ring_table()->try_pop(st->ring, data, size);
    };
    const char* context = Var ? kTryPopVarContext : kTryPopContext;
    const char* data = nullptr;
    std::size_t size = 0;
    st->announces_sleep.store(true);
    while (st->running.load(std::memory_order_acquire)) {
        auto ready = [&] { return try_pop(&data, &size) == 1; };
        if (!ConsumerState::spin_until(ready)) {
            if (st->sleep_unless(ready)) {
                st->bell.wait();
                st->woke();
                continue;
            }
        }
        if (!deliver_while_waiting(st, data, size, try_pop, context)) return;
    }
}

// Ring mode: the ring's own waiting pop, then whatever else waits.
template <bool Var>
void consume_ring(ConsumerState* st) {
    auto try_pop = [st](const char** data, std::size_t* size) {
        return Var ? ring_table()->try_pop_var(st->ring, data, size) : ring_table()->try_pop(st->ring, data, size);
    };
    const char* data = nullptr;
    std::size_t size = 0;
    while (st->running.load(std::memory_order_acquire)) {
        const int rc = Var ? ring_table()->pop_var(st->ring, &data, &size) : ring_table()->pop(st->ring, &data, &size);
        if (rc != 1) continue;
        // A fixed-size pop holds its slot until release(); the variable-size one frees it at the next call.
        if (!deliver_while_waiting(st, data, size, try_pop, Var ? kPopVarContext : kPopContext,
                                   Var ? nullptr : ring_table()->release))
            return;
    }
}

void consume_try_pop(ConsumerState* st) { consume_doorbell<false>(st); }
void consume_try_pop_var(ConsumerState* st) { consume_doorbell<true>(st); }
void consume_pop(ConsumerState* st) { consume_ring<false>(st); }
void consume_pop_var(ConsumerState* st) { consume_ring<true>(st); }

// The thread: the body, then the references it held, dropped with the lock (never once the
// interpreter is going away). The thread keeps one thread state for its whole life; otherwise every
// burst of deliveries would create and destroy one (on 3.11+ with a fresh frame stack mapped).
void consumer_main(SharedConsumer st, void (*body)(ConsumerState*)) {
    PyGILState_STATE own = PyGILState_UNLOCKED;
    PyThreadState* self = nullptr;
    if (!process_exiting()) {
        own = PyGILState_Ensure();
        self = PyEval_SaveThread();
    }
    body(st.get());
    if (self && !process_exiting()) {
        PyEval_RestoreThread(self);
        Py_CLEAR(st->callback_ref);
        Py_CLEAR(st->ring_ref);
        st->consumer_started = false;
        PyGILState_Release(own);
    }
    unregister_consumer(st.get());
}

// --- setup and close ------------------------------------------------------------------------------

int setup(D* d, int dispatch, const SetupOptions* options);
int close(D* d, int dispatch);
PyObject* py_close(PyObject* self, PyObject*);

const SyncDispatcherVTable g_table = {
    setup,           try_push_bell,   try_push_var_bell,   push,
    push_var,        consume_try_pop, consume_try_pop_var, consume_pop,
    consume_pop_var, close,
};

// A second consumer on the single-consumer ring is refused before anything (socket, doorbell) is
// touched: rebinding the doorbell would strand the running consumer on the old descriptor.
bool may_start_consumer(D* d) {
    if (d->_state->consumer_started) {
        PyErr_SetString(PyExc_RuntimeError, "SyncDispatcher.setup: a consumer thread is already running");
        return false;
    }
    if (!has_ring(d)) {
        PyErr_SetString(PyExc_RuntimeError, "SyncDispatcher.setup: the dispatcher has no ring");
        return false;
    }
    return true;
}

// Joins the attached consumer thread, if any, with the interpreter lock released. The consumer
// itself (close or the last reference dropped in its callback) cannot join itself: it detaches, and
// ends once the callback returns, as the run flag is clear. In a forked child the thread object
// names a thread of the parent: it is kept, never joined.
void join_consumer(D* d) {
    std::thread* thread = d->_thread;
    if (!thread) return;
    d->_thread = nullptr;
    if (d->_state->inherited) {
        keep_orphaned_thread(thread);
        return;
    }
    if (thread->get_id() == std::this_thread::get_id()) {
        thread->detach();
        delete thread;
        return;
    }
    Py_BEGIN_ALLOW_THREADS thread->join();
    Py_END_ALLOW_THREADS delete thread;
}

// sys.getswitchinterval(), for LockOffer.
bool read_switch_interval(ConsumerState* st) {
    PyObject* get = PySys_GetObject("getswitchinterval");  // borrowed
    py::Ref seconds(get ? PyObject_CallNoArgs(get) : nullptr);
    const double value = seconds ? PyFloat_AsDouble(seconds.get()) : -1.0;
    if (!get && !PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "sys.getswitchinterval is missing");
    if (PyErr_Occurred()) return false;
    st->switch_interval = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(value));
    return true;
}

int start_consumer(D* d) {
    ConsumerState* st = d->_state.get();
    join_consumer(d);  // an earlier consumer that close could not join: it has ended by now
    st->inherited = false;
    void (*body)(ConsumerState*) = wake_up(d) == WakeUp::doorbell
                                       ? (d->variable_size ? g_table.consume_try_pop_var : g_table.consume_try_pop)
                                       : (d->variable_size ? g_table.consume_pop_var : g_table.consume_pop);
    if (!read_switch_interval(st)) return -1;
    st->callback_ref = Py_NewRef(d->_callback);
    st->ring_ref = Py_NewRef(d->_q);
    st->ring = ring(d->_q);
    st->consumer_started = true;
    st->announces_sleep.store(false);  // the consumer raises it as it starts
    register_consumer(d->_state);
    const int rc = py::guard([&] {
        auto* thread = new std::thread(consumer_main, d->_state, body);
        if (d->detach) {
            thread->detach();
            delete thread;
        } else {
            d->_thread = thread;
        }
        return 0;
    });
    if (rc < 0) {
        unregister_consumer(st);
        Py_CLEAR(st->callback_ref);
        Py_CLEAR(st->ring_ref);
        st->consumer_started = false;
    }
    return rc;
}

int setup(D* d, int dispatch, const SetupOptions* options) {
    int rc = 0;
    if (const int ran = run_setup_override(d, dispatch, options, &rc)) return ran < 0 ? -1 : rc;
    if (!may_start_consumer(d)) return -1;
    if (wake_up(d) == WakeUp::doorbell && !open_doorbell(d, true, options)) return -1;
    if (start_consumer(d) < 0) return -1;
    d->_state->set_up = true;
    return 0;
}

int close(D* d, int dispatch) {
    int rc = 0;
    if (const int ran = run_close_override(reinterpret_cast<PyObject*>(d), dispatch, py_close, &rc))
        return ran < 0 ? -1 : rc;
    ConsumerState* st = d->_state.get();
    if (!st) return 0;  // the allocation failed half-way: nothing was ever started
    st->running.exchange(false);
    st->set_up = false;
    if (has_ring(d)) {
        SPSCQueueObject* q = ring(d->_q);
        Py_BEGIN_ALLOW_THREADS ring_table() -> close(q);
        Py_END_ALLOW_THREADS
    }
    if (wake_up(d) == WakeUp::doorbell) {
        Py_BEGIN_ALLOW_THREADS st->bell.ring();
        Py_END_ALLOW_THREADS
    }
    if (!close_doorbell_socket(d)) return -1;
    if (!d->detach) join_consumer(d);
    return 0;
}

// --- Python-level methods ----------------------------------------------------------------------------

PyObject* py_close(PyObject* self, PyObject*) {
    auto* d = reinterpret_cast<D*>(self);
    if (d->vtab->close(d, py::kNativeOnly) < 0) return nullptr;
    Py_RETURN_NONE;
}

// --- the type ----------------------------------------------------------------------------------------

// What a SyncDispatcher adds to the shared lifecycle: its modes and the consumer thread object.
struct SyncKind {
    using Object = D;
    static constexpr const char* kDeallocContext = "zelvar.utils.ferrix.ferrix.SyncDispatcher.__dealloc__";
    static const SyncDispatcherVTable* table() { return &g_table; }
    static void init_own(D* d) {
        d->_push_fn = try_push_bell;
        d->nonblocking = true;
        d->detach = true;
        d->_thread = nullptr;
    }
    static int visit_own(D*, visitproc, void*) { return 0; }
    static void clear_own(D*) {}
    static void release_own(D* d) {
        if (d->_thread) {
            // close could not join (it failed first): the thread keeps what it reads alive itself.
            d->_thread->detach();
            delete d->_thread;
            d->_thread = nullptr;
        }
    }
    static int close(D* d, int dispatch) { return d->vtab->close(d, dispatch); }
};

using Core = DispatcherCore<SyncKind>;

int dispatcher_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__",
                                          {"callback", "capacity", "slot_size", "zerocopy", "overwrite",
                                           "block_on_full", "variable_size", "detach", "nonblocking", "batch"},
                                          1, 9);
    decltype(params)::Values v;
    RingArguments ring_args{16384, 2048};
    int variable_size = 0, detach = 1, nonblocking = 1;
    std::size_t batch = 0;
    if (!params.bind(args, kwargs, v) || !take_size(v[1], ring_args.capacity) ||
        !take_size(v[2], ring_args.slot_size) || !take_flag(v[3], ring_args.zerocopy) ||
        !take_flag(v[4], ring_args.overwrite) || !take_flag(v[5], ring_args.block_on_full) ||
        !take_flag(v[6], variable_size) || !take_flag(v[7], detach) || !take_flag(v[8], nonblocking) ||
        !take_batch(v[9], batch))
        return -1;
    auto* d = reinterpret_cast<D*>(self);
    if (!Core::initialise(d, "SyncDispatcher", ring_args, v[0], variable_size != 0, batch)) return -1;
    d->detach = detach != 0;
    d->nonblocking = nonblocking != 0;
    d->_push_fn = wake_up(d) == WakeUp::doorbell ? (d->variable_size ? try_push_var_bell : try_push_bell)
                                                 : (d->variable_size ? push_var : push);
    return 0;
}

PyMethodDef g_methods[] = {
    {"setup", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_setup<D>)), METH_FASTCALL | METH_KEYWORDS,
     "SyncDispatcher.setup(self, str host='127.0.0.1', int recvbuf=16777216) -> void"},
    {"close", py_close, METH_NOARGS, "SyncDispatcher.close(self) -> void"},
    ZELVAR_DISPATCHER_PRODUCER_METHODS(D, "SyncDispatcher"),
    ZELVAR_REFUSE_PICKLE_METHODS,
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject SyncDispatcherType =
    Core::make_type("zelvar.utils.ferrix.ferrix.SyncDispatcher",
                    "SyncDispatcher(callback, size_t capacity=16384, size_t slot_size=2048, bool zerocopy=False, "
                    "bool overwrite=False, bool block_on_full=False, bool variable_size=False, bool detach=True, "
                    "bool nonblocking=True)",
                    g_methods, dispatcher_init);

bool add_sync_dispatcher_type(PyObject* module) {
    return py::add_type(module, &SyncDispatcherType, "SyncDispatcher", const_cast<SyncDispatcherVTable*>(&g_table));
}

}  // namespace zelvar::ferrix
