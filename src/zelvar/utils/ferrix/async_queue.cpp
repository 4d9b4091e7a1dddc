// AsyncQueue: a ring shared by coroutines of one event loop. Pushes store and then notify an
// asyncio.Condition; pops (and the dispatcher task) take from the ring and wait on the condition
// only when it is empty. No thread, no doorbell: everything runs on the loop's thread.
#include "async_queue.hpp"

#include <array>
#include <cstddef>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/call.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/coro.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/fields.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "async_queue_wait.hpp"
#include "batch.hpp"
#include "buffers.hpp"
#include "module_state.hpp"
#include "ring_arguments.hpp"

namespace zelvar::ferrix {
namespace {

namespace py = zelvar::py;
using py::CoroFrame;
using py::Ref;
using py::Task;
using Q = AsyncQueueObject;

Q* queue_of(CoroFrame& f) { return reinterpret_cast<Q*>(f.arg(0)); }

// --- the ring -----------------------------------------------------------------------------------

// False, with RuntimeError, for a queue that never got a ring (`__new__` alone, or unpickled so).
bool require_ring(Q* q) {
    if (has_ring(q)) return true;
    PyErr_SetString(PyExc_RuntimeError, "AsyncQueue has no ring: it was not initialised by __init__");
    return false;
}

// The queue's ring, held for one ring call: a finalizer run by an allocation may replace `_q`.
Ref ring_of(Q* q) {
    if (!require_ring(q)) throw py::ErrorAlreadySet{};
    return Ref::borrow(q->_q);
}

// The oldest message as bytes, or a null Ref when the ring is empty.
Ref take_message(Q* q) {
    Ref held = ring_of(q);
    const char* data = nullptr;
    std::size_t size = 0;
    if (ring_table()->try_pop(ring(held.get()), &data, &size) != 1) return Ref();
    Ref msg(PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size)));
    if (!msg) throw py::ErrorAlreadySet{};
    return msg;
}

// Up to `limit` waiting messages as a list, or a null Ref when the ring is empty. The list is made
// first: making it may run Python code, which must not come between taking messages and the call
// they are for.
Ref take_messages(Q* q, std::size_t limit) {
    Ref list(PyList_New(0));
    if (!list) throw py::ErrorAlreadySet{};
    Ref held = ring_of(q);
    auto try_pop = [&](const char** data, std::size_t* size) {
        return ring_table()->try_pop(ring(held.get()), data, size);
    };
    const char* data = nullptr;
    std::size_t size = 0;
    if (try_pop(&data, &size) != 1) return Ref();
    if (!fill_batch(list.get(), data, size, limit, try_pop)) throw py::ErrorAlreadySet{};
    return list;
}

// --- push and pop ------------------------------------------------------------------------------------

// Stores (data, size); a stored message wakes one waiting consumer. True when stored, False when
// the ring refused it (and then nobody is woken).
Task store_and_notify(CoroFrame& f, const char* data, std::size_t size) {
    Q* q = queue_of(f);
    {
        Ref held = ring_of(q);
        if (ring_table()->try_push(ring(held.get()), data, size) <= 0) co_return Ref::borrow(Py_False);
    }
    if (!notify_is_noop(q->_notify_cond)) co_await call_under_condition(f, q->_notify_cond, "notify");
    co_return Ref::borrow(Py_True);
}

// The str's cached UTF-8 form: it lives as long as the string, an argument of the coroutine.
Task push_str(CoroFrame& f) {
    PyObject* msg = f.arg(1);
    if (!PyUnicode_Check(msg)) {
        py::raise_argument_type(msg, "msg", "str");
        throw py::ErrorAlreadySet{};
    }
    const char* data = nullptr;
    std::size_t size = 0;
    if (str_to_cbuf(msg, &data, &size) < 0) throw py::ErrorAlreadySet{};
    co_return co_await store_and_notify(f, data, size);
}

// bytes(msg), held until the coroutine finishes (a bytes object cannot lead back to it).
Task push_obj(CoroFrame& f) {
    PyObject* holder = nullptr;
    const char* data = nullptr;
    std::size_t size = 0;
    if (obj_to_cbuf(f.arg(1), &holder, &data, &size) < 0) throw py::ErrorAlreadySet{};
    Ref held(holder);
    co_return co_await store_and_notify(f, data, size);
}

// The exporter's buffer, held until the coroutine ends on any way out (finished, failed, cancelled
// or destroyed while suspended): the exporter cannot resize it meanwhile.
struct HeldBuffer {
    Py_buffer view{};
    bool held = false;
    ~HeldBuffer() {
        if (held) PyBuffer_Release(&view);
    }
};

Task push_buf(CoroFrame& f) {
    HeldBuffer buffer;
    const char* data = nullptr;
    std::size_t size = 0;
    if (buf_to_cbuf(f.arg(1), &buffer.view, &data, &size) < 0) throw py::ErrorAlreadySet{};
    buffer.held = true;
    co_return co_await store_and_notify(f, data, size);
}

// A message found at once never touches the lock; an empty ring waits for a notify and looks again.
Task pop(CoroFrame& f) {
    Q* q = queue_of(f);
    for (;;) {
        if (Ref msg = take_message(q)) co_return msg;
        co_await wait_for_notify(f, q);
    }
}

// --- dispatcher task and shutdown ----------------------------------------------------------------------

// Feeds every message to the current callback, one at a time (or, with a batch size, as a list of
// what waits): the next message is taken only once the callback's awaitable has finished. Ends
// only by an exception (cancellation included).
Task dispatch(CoroFrame& f) {
    Q* q = queue_of(f);
    for (;;) {
        Ref msg = q->_batch == 0 ? take_message(q) : take_messages(q, q->_batch);
        if (!msg) {
            co_await wait_for_notify(f, q);
            continue;
        }
        Ref callback = Ref::borrow(q->_callback);
        Ref awaitable(py::call_one(callback.get(), msg.get()));
        msg = Ref();
        callback = Ref();
        co_await py::await(std::move(awaitable));
    }
}

// Whether the error being raised is asyncio.CancelledError.
bool is_cancelled_error() { return PyErr_ExceptionMatches(imported().cancelled_error); }

// Wakes every waiter, then cancels the latest dispatcher task and waits for it to end; its
// cancellation is absorbed, any other error it ended with is raised here.
Task shutdown(CoroFrame& f) {
    Q* q = queue_of(f);
    co_await call_under_condition(f, q->_notify_cond, "notify_all");
    if (q->_task == Py_None) co_return py::none();
    py::Kept task = f.keep(Ref::borrow(q->_task));
    if (!Ref(PyObject_CallMethod(task.get(), "cancel", nullptr))) throw py::ErrorAlreadySet{};
    try {
        co_await py::await(task.get());
    } catch (const py::ErrorAlreadySet&) {
        if (!is_cancelled_error()) throw;
        PyErr_Clear();
    }
    co_return py::none();
}

// --- coroutine methods -------------------------------------------------------------------------------

constexpr const char* kQueueTypeName = "zelvar.utils.ferrix.ferrix.AsyncQueue";

template <std::size_t N>
bool is_queue(std::span<PyObject* const, N> args) {
    return PyObject_TypeCheck(args[0], &AsyncQueueType) || py::raise_argument_type(args[0], "self", kQueueTypeName);
}

constexpr py::CoroutineDef<2> kPushStr{"push_str", "AsyncQueue.push_str", py::params("push_str", {"self", "msg"}, 2),
                                       push_str, is_queue<2>};
constexpr py::CoroutineDef<2> kPushObj{"push_obj", "AsyncQueue.push_obj", py::params("push_obj", {"self", "msg"}, 2),
                                       push_obj, is_queue<2>};
constexpr py::CoroutineDef<2> kPushBuf{"push_buf", "AsyncQueue.push_buf", py::params("push_buf", {"self", "msg"}, 2),
                                       push_buf, is_queue<2>};
constexpr py::CoroutineDef<1> kPop{"pop", "AsyncQueue.pop", py::params("pop", {"self"}, 1), pop, is_queue<1>};
constexpr py::CoroutineDef<1> kDispatch{"__dispatch", "AsyncQueue.__dispatch", py::params("__dispatch", {"self"}, 1),
                                        dispatch, is_queue<1>};

// shutdown(self, *excinfo): any positional arguments (ignored), no keywords.
PyObject* shutdown_entry(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    if (kwnames && PyTuple_GET_SIZE(kwnames) > 0) {
        PyErr_Format(PyExc_TypeError, "shutdown() got an unexpected keyword argument '%U'",
                     PyTuple_GET_ITEM(kwnames, 0));
        return nullptr;
    }
    if (nargs < 1) {
        PyErr_SetString(PyExc_TypeError, "shutdown() missing 1 required positional argument: 'self'");
        return nullptr;
    }
    if (!is_queue<1>(std::span<PyObject* const, 1>(args, 1))) return nullptr;
    return py::make_coroutine("shutdown", "AsyncQueue.shutdown", {args[0]}, shutdown);
}

// --- start_dispatcher ----------------------------------------------------------------------------------

PyObject* py_start_dispatcher(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The behaviour of start_dispatcher, with the batch size the dispatcher task delivers by.
PyObject* start(Q* q, PyObject* callback, std::size_t batch) {
    auto* self = reinterpret_cast<PyObject*>(q);
    if (!require_ring(q)) return nullptr;
    Py_SETREF(q->_callback, Py_NewRef(callback));
    q->_batch = batch;
    Ref coroutine(PyObject_CallMethod(self, "_AsyncQueue__dispatch", nullptr));
    if (!coroutine) return nullptr;
    Ref task(PyObject_CallMethod(q->_loop, "create_task", "O", coroutine.get()));
    if (!task) return nullptr;
    Py_SETREF(q->_task, task.release());
    Py_RETURN_NONE;
}

// The table entry: one message per call.
PyObject* start_dispatcher(Q* q, PyObject* callback, int dispatch) {
    if (dispatch == py::kHonourOverride) {
        if (Ref override{py::find_override(reinterpret_cast<PyObject*>(q), "start_dispatcher", py_start_dispatcher)})
            return PyObject_CallOneArg(override.get(), callback);
        if (PyErr_Occurred()) return nullptr;
    }
    return start(q, callback, 0);
}

const AsyncQueueVTable g_table = {start_dispatcher};

PyObject* py_start_dispatcher(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr auto params = py::params("start_dispatcher", {"callback", "batch"}, 1, 1);
    decltype(params)::Values v;
    std::size_t batch = 0;
    if (!params.bind(args, nargs, kwnames, v) || !take_batch(v[1], batch)) return nullptr;
    return start(reinterpret_cast<Q*>(self), v[0], batch);
}

// --- size and iteration ----------------------------------------------------------------------------

PyObject* py_qsize(PyObject* self, PyObject*) {
    auto* q = reinterpret_cast<Q*>(self);
    return require_ring(q) ? PyLong_FromSize_t(ring_size(q->_q)) : nullptr;
}

PyObject* py_empty(PyObject* self, PyObject*) {
    auto* q = reinterpret_cast<Q*>(self);
    return require_ring(q) ? PyBool_FromLong(ring_size(q->_q) == 0) : nullptr;
}

// `async for message in queue`: each step is `await queue.pop()` (a subclass's pop included); the
// loop ends only by break or an exception.
PyObject* queue_aiter(PyObject* self) { return Py_NewRef(self); }

PyObject* queue_anext(PyObject* self) { return PyObject_CallMethodNoArgs(self, imported().pop); }

PyAsyncMethods g_as_async = {nullptr, queue_aiter, queue_anext, nullptr};

// --- construction ----------------------------------------------------------------------------------------

PyObject* queue_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    auto* q = reinterpret_cast<Q*>(self);
    q->vtab = &g_table;
    for (PyObject** field : {&q->_q, &q->_loop, &q->_callback, &q->_lock, &q->_notify_cond, &q->_task})
        *field = Py_NewRef(Py_None);
    q->_running = 0;
    q->_batch = 0;
    return self;
}

// The running loop, or RuntimeError with the loop lookup's error as context.
PyObject* running_loop() {
    PyObject* loop = PyObject_CallNoArgs(imported().get_running_loop);
    if (!loop && PyErr_ExceptionMatches(PyExc_RuntimeError))
        py::raise_instead(PyExc_RuntimeError, "AsyncQueue must be created inside a running event loop.");
    return loop;
}

int queue_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params =
        py::params("__init__", {"loop", "slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"});
    decltype(params)::Values v;
    RingArguments ring_args{16384, 1024};
    if (!params.bind(args, kwargs, v) || !take_size(v[1], ring_args.slot_size) ||
        !take_size(v[2], ring_args.capacity) || !take_flag(v[3], ring_args.overwrite) ||
        !take_flag(v[4], ring_args.zerocopy) || !take_flag(v[5], ring_args.block_on_full))
        return -1;
    auto* q = reinterpret_cast<Q*>(self);
    PyObject* ring_object = make_ring(ring_args);
    if (!ring_object) return -1;
    Py_SETREF(q->_q, ring_object);
    PyObject* lock = PyObject_CallNoArgs(imported().lock_type);
    if (!lock) return -1;
    Py_SETREF(q->_lock, lock);
    PyObject* cond = PyObject_CallOneArg(imported().condition_type, q->_lock);
    if (!cond) return -1;
    Py_SETREF(q->_notify_cond, cond);
    PyObject* loop = v[0] && v[0] != Py_None ? Py_NewRef(v[0]) : running_loop();
    if (!loop) return -1;
    Py_SETREF(q->_loop, loop);
    return 0;
}

// --- pickling ----------------------------------------------------------------------------------------------

// `_q` takes an SPSCQueue or None only.
int set_ring(void* slot, PyObject* value) {
    if (!value) value = Py_None;
    if (value != Py_None && !PyObject_TypeCheck(value, ring_type())) {
        PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(value)->tp_name, ring_type()->tp_name);
        return -1;
    }
    py::field::store_object(slot, value);
    return 0;
}

#define QUEUE_OBJECT_FIELD(name, setter) \
    py::Field { #name, offsetof(Q, name), nullptr, py::field::get_object, setter, true }

const py::Field kCallback = QUEUE_OBJECT_FIELD(_callback, py::field::set_object);
const py::Field kLock = QUEUE_OBJECT_FIELD(_lock, py::field::set_object);
const py::Field kLoop = QUEUE_OBJECT_FIELD(_loop, py::field::set_object);
const py::Field kNotifyCond = QUEUE_OBJECT_FIELD(_notify_cond, py::field::set_object);
const py::Field kRing = QUEUE_OBJECT_FIELD(_q, set_ring);
const py::Field kRunning{"_running", offsetof(Q, _running), nullptr, py::field::get_flag, py::field::set_flag};
const py::Field kTask = QUEUE_OBJECT_FIELD(_task, py::field::set_object);

#undef QUEUE_OBJECT_FIELD

const py::Field* const kState[] = {&kCallback, &kLock, &kLoop, &kNotifyCond, &kRing, &kRunning, &kTask};

// The state, member list and checksums are made from kState at import.
py::PickleDef g_pickle{&AsyncQueueType,
                       "__pyx_unpickle_AsyncQueue",
                       "__pyx_unpickle_AsyncQueue(__pyx_type, long __pyx_checksum, tuple __pyx_state)",
                       nullptr,
                       0,
                       {},
                       "",
                       module};
py::LayoutStore g_layout;

// --- the type -----------------------------------------------------------------------------------------------

// The references a queue owns: visited by the collector, reset to None by clear, dropped by dealloc.
std::array<PyObject**, 6> owned_references(Q* q) {
    return {&q->_q, &q->_loop, &q->_callback, &q->_lock, &q->_notify_cond, &q->_task};
}

int queue_traverse(PyObject* self, visitproc visit, void* arg) {
    for (PyObject** field : owned_references(reinterpret_cast<Q*>(self))) Py_VISIT(*field);
    return 0;
}

int queue_clear(PyObject* self) {
    for (PyObject** field : owned_references(reinterpret_cast<Q*>(self))) Py_SETREF(*field, Py_NewRef(Py_None));
    return 0;
}

void queue_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    for (PyObject** field : owned_references(reinterpret_cast<Q*>(self))) Py_CLEAR(*field);
    py::free_object(self);
}

PyMethodDef g_methods[] = {
    {"start_dispatcher", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_start_dispatcher)),
     METH_FASTCALL | METH_KEYWORDS, "AsyncQueue.start_dispatcher(self, callback)"},
    {"qsize", py_qsize, METH_NOARGS, "AsyncQueue.qsize(self) -> int\n\nMessages waiting in the ring now."},
    {"empty", py_empty, METH_NOARGS, "AsyncQueue.empty(self) -> bool\n\nWhether no message waits in the ring now."},
    ZELVAR_PICKLE_METHODS(g_pickle),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject AsyncQueueType = py::make_type<Q>({
    .name = "zelvar.utils.ferrix.ferrix.AsyncQueue",
    .flags = Py_TPFLAGS_BASETYPE,
    .doc = "AsyncQueue(loop=None, size_t slot_size=1024, size_t capacity=16384, bool overwrite=False, "
           "bool zerocopy=False, bool block_on_full=False)",
    .methods = g_methods,
    .new_ = queue_new,
    .init = queue_init,
    .dealloc = queue_dealloc,
    .gc = {queue_traverse, queue_clear},
    .as_async = &g_as_async,
});

namespace {

template <const auto& Def>
bool add_coroutine_method(const char* attribute, const char* doc) {
    Ref method(py::make_coroutine_function<Def>(doc, kModuleName));
    return method && py::set_type_attribute(&AsyncQueueType, attribute, method.get());
}

}  // namespace

bool add_async_queue_type(PyObject* module) {
    static const bool made = (py::make_layout(g_pickle, g_layout, {std::begin(kState), std::end(kState)}), true);
    (void)made;
    static PyMethodDef unpickle[] = {py::unpickle_def<g_pickle>(), {nullptr, nullptr, 0, nullptr}};
    Ref shutdown_method(py::make_coroutine_function(
        {"shutdown", "AsyncQueue.shutdown", "AsyncQueue.shutdown(self, *excinfo)", shutdown_entry}, kModuleName));
    return py::ready_coroutine_type() &&
           py::add_type(module, &AsyncQueueType, "AsyncQueue", const_cast<AsyncQueueVTable*>(&g_table)) &&
           add_coroutine_method<kPushStr>("push_str", "AsyncQueue.push_str(self, msg)") &&
           add_coroutine_method<kPushObj>("push_obj", "AsyncQueue.push_obj(self, msg)") &&
           add_coroutine_method<kPushBuf>("push_buf", "AsyncQueue.push_buf(self, msg)") &&
           add_coroutine_method<kPop>("pop", "AsyncQueue.pop(self)") &&
           add_coroutine_method<kDispatch>("_AsyncQueue__dispatch", "AsyncQueue.__dispatch(self)") && shutdown_method &&
           py::set_type_attribute(&AsyncQueueType, "shutdown", shutdown_method.get()) &&
           PyModule_AddFunctions(module, unpickle) == 0;
}

}  // namespace zelvar::ferrix
