// AsyncDispatcher: native producers push from any thread; a reader task on the event loop drains
// the ring, awaits the callback for each message, and awaits one doorbell byte when it is empty.
#include "async_dispatcher.hpp"

#include <utility>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/call.hpp>
#include <zelvar/_pyext/coro.hpp>
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

namespace py = zelvar::py;
using py::Ref;
using D = AsyncDispatcherObject;

int try_push_bell(D* d, const char* data, std::size_t size) { return try_push_with_bell<D, false>(d, data, size); }
int try_push_var_bell(D* d, const char* data, std::size_t size) { return try_push_with_bell<D, true>(d, data, size); }

// --- the reader ------------------------------------------------------------------------------------

// Deliveries between two yields to the loop, for callbacks that never suspend.
constexpr int kYieldMask = 127;

// reader(self, loop, sock): drains the ring, awaiting callback(bytes) per message; when the ring is
// empty it announces that it may sleep, looks once more, then awaits one doorbell byte. Ends when
// close clears the run flag, or with the first exception.
template <bool Var>
py::Task reader(py::CoroFrame& f) {
    auto* d = reinterpret_cast<D*>(f.arg(0));
    PyObject* loop = f.arg(1);
    PyObject* sock = f.arg(2);
    ConsumerState* st = d->_state.get();
    auto try_pop = [d](const char** data, std::size_t* size) {
        if (!has_ring(d)) return spsc::kClosed;
        return Var ? ring_table()->try_pop_var(ring(d->_q), data, size)
                   : ring_table()->try_pop(ring(d->_q), data, size);
    };
    int counter = 0;
    const char* data = nullptr;
    std::size_t size = 0;
    st->announces_sleep.store(true);
    auto ready = [&] { return try_pop(&data, &size) == 1; };
    while (st->running.load(std::memory_order_acquire)) {
        // A producer a moment behind is waited for briefly: announcing a sleep makes it ring, and a
        // ring per message slows it below the reader, which then sleeps at every message.
        if (!ConsumerState::spin_briefly(ready) && st->sleep_unless(ready)) {
            co_await py::await(Ref(PyObject_CallMethod(loop, "sock_recv", "Oi", sock, 1)));
            st->woke();
            continue;
        }
        Ref awaitable;
        {
            Ref arg;  // bytes, or with batch N a list of up to N waiting messages
            if (st->batch == 0) {
                arg.reset(PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size)));
            } else {
                Ref list(PyList_New(0));
                if (list && fill_batch(list.get(), data, size, st->batch, try_pop)) arg = std::move(list);
            }
            if (!arg) throw py::ErrorAlreadySet{};
            awaitable = Ref(py::call_one(d->_callback, arg.get()));
        }
        co_await py::await(std::move(awaitable));
        counter = (counter + 1) & kYieldMask;
        if (counter == 0) {
            // The module's `asyncio` as bound now: the yield is the module's documented behaviour.
            PyObject* asyncio = global("asyncio");
            if (!asyncio) throw py::ErrorAlreadySet{};
            co_await py::await(Ref(PyObject_CallMethod(asyncio, "sleep", "i", 0)));
        }
    }
    co_return py::none();
}

template <std::size_t N>
bool is_dispatcher(std::span<PyObject* const, N> args) {
    return PyObject_TypeCheck(args[0], &AsyncDispatcherType) ||
           py::raise_argument_type(args[0], "self", "zelvar.utils.ferrix.ferrix.AsyncDispatcher");
}

constexpr py::CoroutineDef<3> kReader{"__reader", "AsyncDispatcher.__reader",
                                      py::params("__reader", {"self", "loop", "sock"}, 3), reader<false>,
                                      is_dispatcher<3>};
constexpr py::CoroutineDef<3> kReaderVar{"__reader_var", "AsyncDispatcher.__reader_var",
                                         py::params("__reader_var", {"self", "loop", "sock"}, 3), reader<true>,
                                         is_dispatcher<3>};

// --- setup and close ---------------------------------------------------------------------------------

// One reader at a time: a second one on the single-consumer ring is refused before the doorbell
// is touched (rebinding it would strand the running reader on the old socket).
bool may_start_reader(D* d) {
    if (!has_ring(d)) {
        PyErr_SetString(PyExc_RuntimeError, "AsyncDispatcher.setup: the dispatcher has no ring");
        return false;
    }
    if (d->_task == Py_None) return true;
    Ref done(PyObject_CallMethod(d->_task, "done", nullptr));
    if (!done) return false;
    if (done.get() == Py_True) return true;
    PyErr_SetString(PyExc_RuntimeError, "AsyncDispatcher.setup: a reader task is already running");
    return false;
}

int setup(D* d, int dispatch, const SetupOptions* options) {
    int rc = 0;
    if (const int ran = run_setup_override(d, dispatch, options, &rc)) return ran < 0 ? -1 : rc;
    if (!may_start_reader(d) || !open_doorbell(d, false, options)) return -1;
    d->_state->announces_sleep.store(false);  // a built-in reader raises it as it starts
    Ref loop(PyObject_CallNoArgs(imported().get_running_loop));
    if (!loop) return -1;
    Ref coroutine(PyObject_CallMethod(reinterpret_cast<PyObject*>(d),
                                      d->variable_size ? "_AsyncDispatcher__reader_var" : "_AsyncDispatcher__reader",
                                      "OO", loop.get(), d->_sock));
    Ref task(coroutine ? PyObject_CallMethod(loop.get(), "create_task", "O", coroutine.get()) : nullptr);
    if (!task) return -1;
    Py_SETREF(d->_task, task.release());  // an earlier, finished task is released, not cancelled
    d->_state->set_up = true;
    return 0;
}

const AsyncDispatcherVTable g_table = {setup, try_push_bell, try_push_var_bell};

constexpr const char* kCloseName = "zelvar.utils.ferrix.ferrix.AsyncDispatcher.close";

// The doorbell socket leaves the loop's selector before it is closed: a pending sock_recv keeps it
// registered until its cancellation runs, and a socket opened meanwhile may get the same number.
bool release_socket(PyObject* loop, PyObject* sock) {
    Ref removed(PyObject_CallMethod(loop, "remove_reader", "O", sock));
    return removed && Ref(PyObject_CallMethod(sock, "close", nullptr));
}

// close._finalize(task, sock), run on the task's loop: cancels the reader unless it has finished,
// then releases the socket close handed over (None when close released it itself).
PyObject* finalize(PyObject* args, PyObject*) {
    PyObject* task = PyTuple_GET_ITEM(args, 0);
    PyObject* sock = PyTuple_GET_ITEM(args, 1);
    Ref done(PyObject_CallMethod(task, "done", nullptr));
    const int is_done = done ? PyObject_IsTrue(done.get()) : -1;
    Ref cancelled(is_done == 0 ? PyObject_CallMethod(task, "cancel", nullptr) : nullptr);
    bool ok = is_done == 1 || (is_done == 0 && cancelled);
    if (ok && sock != Py_None) {
        Ref loop(PyObject_CallMethod(task, "get_loop", nullptr));
        ok = loop && release_socket(loop.get(), sock);
    }
    if (!ok) {
        py::add_traceback("zelvar.utils.ferrix.ferrix.AsyncDispatcher.close._finalize", kSourceFile);
        return nullptr;
    }
    Py_RETURN_NONE;
}

// Whether the calling thread is running `loop` now.
int runs_loop(PyObject* loop) {
    Ref running(PyObject_CallNoArgs(imported().peek_running_loop));
    return running ? running.get() == loop : -1;
}

// Schedules the reader's cancellation on its own loop: the only step of close that acts on another
// thread's loop, so close may run on any thread. On the loop's own thread the socket leaves the
// selector at once; from another thread it is handed to the scheduled step (`sock` becomes null).
// A reader that has already finished needs nothing, and holds no registration (its loop may be
// closed by now).
bool schedule_finalize(PyObject* task, Ref& sock) {
    static PyMethodDef def = {"_finalize", finalize, METH_NOARGS, nullptr};
    Ref done(PyObject_CallMethod(task, "done", nullptr));
    if (!done) return false;
    if (done.get() == Py_True) return true;
    Ref loop(PyObject_CallMethod(task, "get_loop", nullptr));
    const int on_loop = loop ? runs_loop(loop.get()) : -1;
    if (on_loop < 0) return false;
    if (on_loop && sock && !release_socket(loop.get(), sock.get())) return false;
    if (on_loop) sock = Ref();
    Ref args(Py_BuildValue("(OO)", task, sock ? sock.get() : Py_None));
    Ref fn(args ? PyCFunction_New(&def, args.get()) : nullptr);
    Ref handle(fn ? PyObject_CallMethod(loop.get(), "call_soon_threadsafe", "O", fn.get()) : nullptr);
    if (handle) sock = Ref();
    return static_cast<bool>(handle);
}

// Clears the flag, closes the ring, wakes the reader, schedules its cancellation and closes the
// socket. The socket is closed on every way out, the scheduling step's error is raised after.
int close_natively(D* d) {
    ConsumerState* st = d->_state.get();
    if (!st) return 0;  // the allocation failed half-way: nothing was ever started
    st->running.store(false, std::memory_order_release);
    st->set_up = false;
    if (has_ring(d)) {
        SPSCQueueObject* q = ring(d->_q);
        Py_BEGIN_ALLOW_THREADS ring_table() -> close(q);
        Py_END_ALLOW_THREADS
    }
    st->bell.ring();  // wakes the reader from sock_recv; nothing is sent once the socket was closed
    Ref task(std::exchange(d->_task, Py_NewRef(Py_None)));
    Ref sock(std::exchange(d->_sock, Py_NewRef(Py_None)));
    if (task.get() == Py_None) task = Ref();
    if (sock.get() == Py_None) sock = Ref();
    if (sock) {
        // Nobody sends on the descriptor once disarmed.
        Py_BEGIN_ALLOW_THREADS st->bell.disarm();
        Py_END_ALLOW_THREADS
    }
    // In a forked child the loop and its selector belong to the parent: nothing is scheduled there.
    bool ok = !task || st->inherited || schedule_finalize(task.get(), sock);
    if (sock && ok) {
        ok = static_cast<bool>(Ref(PyObject_CallMethod(sock.get(), "close", nullptr)));
    } else if (sock) {  // the scheduling error is the one raised
        py::detail::PreserveError keep;
        if (!Ref(PyObject_CallMethod(sock.get(), "close", nullptr))) PyErr_Clear();
    }
    if (!ok) {
        py::add_traceback(kCloseName, kSourceFile);
        return -1;
    }
    return 0;
}

PyObject* py_close(PyObject* self, PyObject*) {
    if (close_natively(reinterpret_cast<D*>(self)) < 0) return nullptr;
    Py_RETURN_NONE;
}

// close as a table entry would be: with kHonourOverride a subclass's close runs instead.
int close(D* d, int dispatch) {
    int rc = 0;
    if (const int ran = run_close_override(reinterpret_cast<PyObject*>(d), dispatch, py_close, &rc))
        return ran < 0 ? -1 : rc;
    return close_natively(d);
}

// --- the type ----------------------------------------------------------------------------------------

// What an AsyncDispatcher adds to the shared lifecycle: its reader task.
struct AsyncKind {
    using Object = D;
    static constexpr const char* kDeallocContext = "zelvar.utils.ferrix.ferrix.AsyncDispatcher.__dealloc__";
    static const AsyncDispatcherVTable* table() { return &g_table; }
    static void init_own(D* d) {
        d->_task = Py_NewRef(Py_None);
        d->_push_fn = try_push_bell;
    }
    static int visit_own(D* d, visitproc visit, void* arg) {
        Py_VISIT(d->_task);
        return 0;
    }
    static void clear_own(D* d) { Py_SETREF(d->_task, Py_NewRef(Py_None)); }
    static void release_own(D* d) { Py_CLEAR(d->_task); }
    static int close(D* d, int dispatch) { return ferrix::close(d, dispatch); }
};

using Core = DispatcherCore<AsyncKind>;

int dispatcher_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params(
        "__init__", {"callback", "capacity", "slot_size", "overwrite", "zerocopy", "variable_size", "batch"}, 1, 6);
    decltype(params)::Values v;
    RingArguments ring_args{16384, 2048};
    int variable_size = 0;
    std::size_t batch = 0;
    if (!params.bind(args, kwargs, v) || !take_size(v[1], ring_args.capacity) ||
        !take_size(v[2], ring_args.slot_size) || !take_flag(v[3], ring_args.overwrite) ||
        !take_flag(v[4], ring_args.zerocopy) || !take_flag(v[5], variable_size) || !take_batch(v[6], batch))
        return -1;
    auto* d = reinterpret_cast<D*>(self);
    if (!Core::initialise(d, "AsyncDispatcher", ring_args, v[0], variable_size != 0, batch)) return -1;
    d->_push_fn = d->variable_size ? try_push_var_bell : try_push_bell;
    return 0;
}

PyMethodDef g_methods[] = {
    {"setup", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_setup<D>)), METH_FASTCALL | METH_KEYWORDS,
     "AsyncDispatcher.setup(self, str host='127.0.0.1', int recvbuf=16777216) -> void"},
    {"close", py_close, METH_NOARGS, "AsyncDispatcher.close(self)"},
    ZELVAR_DISPATCHER_PRODUCER_METHODS(D, "AsyncDispatcher"),
    ZELVAR_REFUSE_PICKLE_METHODS,
    {nullptr, nullptr, 0, nullptr},
};

template <const auto& Def>
bool add_reader(const char* attribute, const char* doc) {
    Ref method(py::make_coroutine_function<Def>(doc, kModuleName));
    return method && py::set_type_attribute(&AsyncDispatcherType, attribute, method.get());
}

}  // namespace

PyTypeObject AsyncDispatcherType =
    Core::make_type("zelvar.utils.ferrix.ferrix.AsyncDispatcher",
                    "AsyncDispatcher(callback, size_t capacity=16384, size_t slot_size=2048, bool overwrite=False, "
                    "bool zerocopy=False, bool variable_size=False)",
                    g_methods, dispatcher_init);

bool add_async_dispatcher_type(PyObject* module) {
    return py::ready_coroutine_type() &&
           py::add_type(module, &AsyncDispatcherType, "AsyncDispatcher",
                        const_cast<AsyncDispatcherVTable*>(&g_table)) &&
           add_reader<kReader>("_AsyncDispatcher__reader", "AsyncDispatcher.__reader(self, loop, sock)") &&
           add_reader<kReaderVar>("_AsyncDispatcher__reader_var", "AsyncDispatcher.__reader_var(self, loop, sock)");
}

}  // namespace zelvar::ferrix
