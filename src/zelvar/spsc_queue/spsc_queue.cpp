// zelvar.spsc_queue.spsc_queue: the SPSCQueue type, a thin shell around zelvar::spsc::Ring.
#include <atomic>
#include <new>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/spsc_queue/spsc_queue.hpp>

namespace zelvar::spsc {
namespace {

// --- the native method table -------------------------------------------------------------

int q_push(SPSCQueueObject* q, const char* d, std::size_t n) { return q->ring.push(d, n); }
int q_try_push(SPSCQueueObject* q, const char* d, std::size_t n) { return q->ring.try_push(d, n); }
int q_push_var(SPSCQueueObject* q, const char* d, std::size_t n) { return q->ring.push_var(d, n); }
int q_try_push_var(SPSCQueueObject* q, const char* d, std::size_t n) { return q->ring.try_push_var(d, n); }
int q_closed(SPSCQueueObject* q) { return q->ring.closed() ? 1 : 0; }
int q_pop(SPSCQueueObject* q, const char** d, std::size_t* n) { return q->ring.pop(d, n); }
void q_release(SPSCQueueObject* q) { q->ring.release(); }
int q_try_pop(SPSCQueueObject* q, const char** d, std::size_t* n) { return q->ring.try_pop(d, n); }
int q_pop_var(SPSCQueueObject* q, const char** d, std::size_t* n) { return q->ring.pop_var(d, n); }
int q_try_pop_var(SPSCQueueObject* q, const char** d, std::size_t* n) { return q->ring.try_pop_var(d, n); }
void q_close(SPSCQueueObject* q) { q->ring.close(); }

const SPSCQueueVTable g_vtable = {
    q_push,    q_try_push, q_push_var, q_try_push_var, q_closed, q_pop,
    q_release, q_try_pop,  q_pop_var,  q_try_pop_var,  q_close,
};

// --- construction --------------------------------------------------------------------------

constexpr auto kParams =
    py::params("SPSCQueue", {"slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"}, 2);

PyObject* queue_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    decltype(kParams)::Values v;
    if (!kParams.bind(args, kwargs, v)) return nullptr;
    std::size_t slot_size = 0, capacity = 0;
    if (!py::to_size_t(v[0], slot_size) || !py::to_size_t(v[1], capacity)) return nullptr;
    int flags[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if (v[2 + i] && (flags[i] = py::truth(v[2 + i])) < 0) return nullptr;
    }
    py::Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    auto* q = reinterpret_cast<SPSCQueueObject*>(self.get());
    q->vtab = &g_vtable;
    q->ready = false;
    q->py_pushing = q->py_popping = false;
    const int rc = py::guard([&] {
        new (&q->ring) Ring(slot_size, capacity, flags[0] != 0, flags[1] != 0, flags[2] != 0);
        return 0;
    });
    if (rc < 0) return nullptr;
    q->ready = true;
    return self.release();
}

void queue_dealloc(PyObject* self) {
    auto* q = reinterpret_cast<SPSCQueueObject*>(self);
    if (q->ready) {
        q->ring.~Ring();
        q->ready = false;
    }
    py::free_object(self);
}

// --- Python-level methods (tests, demos, Python producers and consumers) -------------------

using PushFn = int (*)(SPSCQueueObject*, const char*, std::size_t);
using PopFn = int (*)(SPSCQueueObject*, const char**, std::size_t*);

constexpr const char* kPushing =
    "SPSCQueue: another thread is already pushing; a queue has one producer and one consumer";
constexpr const char* kPopping =
    "SPSCQueue: another thread is already popping; a queue has one producer and one consumer";

// Pushes the bytes of any simple buffer; the lock is released while the ring may wait.
template <PushFn Push>
PyObject* py_push(PyObject* self, PyObject* data) {
    auto* q = reinterpret_cast<SPSCQueueObject*>(self);
    Py_buffer view;
    if (PyObject_GetBuffer(data, &view, PyBUF_SIMPLE) < 0) return nullptr;
    PyObject* result = nullptr;
    if (Side side(q->py_pushing, kPushing); side) {  // left before releasing the buffer, which may run Python code
        int rc;
        Py_BEGIN_ALLOW_THREADS rc = Push(q, static_cast<const char*>(view.buf), static_cast<std::size_t>(view.len));
        Py_END_ALLOW_THREADS result = PyLong_FromLong(rc);
    }
    PyBuffer_Release(&view);
    return result;
}

// A popped message as bytes, or None when nothing was obtained. The side stays taken until the
// message is copied out: it may live in the ring or in the consumer's scratch buffer.
template <PopFn Pop, bool Release>
PyObject* py_pop(PyObject* self, PyObject*) {
    auto* q = reinterpret_cast<SPSCQueueObject*>(self);
    Side side(q->py_popping, kPopping);
    if (!side) return nullptr;
    const char* data = nullptr;
    std::size_t size = 0;
    int rc;
    Py_BEGIN_ALLOW_THREADS rc = Pop(q, &data, &size);
    Py_END_ALLOW_THREADS if (rc != 1) Py_RETURN_NONE;
    PyObject* msg = PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size));
    if (Release) q->vtab->release(q);
    return msg;
}

PyObject* py_close(PyObject* self, PyObject*) {
    Py_BEGIN_ALLOW_THREADS q_close(reinterpret_cast<SPSCQueueObject*>(self));
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

PyObject* get_closed(PyObject* self, void*) {
    return PyBool_FromLong(q_closed(reinterpret_cast<SPSCQueueObject*>(self)));
}
PyObject* get_slot_size(PyObject* self, void*) {
    return PyLong_FromSize_t(reinterpret_cast<SPSCQueueObject*>(self)->ring.slot_size());
}
PyObject* get_capacity(PyObject* self, void*) {
    return PyLong_FromSize_t(reinterpret_cast<SPSCQueueObject*>(self)->ring.capacity());
}

PyMethodDef g_methods[] = {
    {"push", py_push<q_push>, METH_O,
     "push(data) -> int\n\nStore a message in the fixed-size family; waits while full when block_on_full is set."},
    {"try_push", py_push<q_try_push>, METH_O,
     "try_push(data) -> int\n\nStore a message in the fixed-size family without waiting."},
    {"push_var", py_push<q_push_var>, METH_O, "push_var(data) -> int\n\nAs push, in the variable-size family."},
    {"try_push_var", py_push<q_try_push_var>, METH_O,
     "try_push_var(data) -> int\n\nAs try_push, in the variable-size family."},
    {"pop", py_pop<q_pop, true>, METH_NOARGS,
     "pop() -> bytes | None\n\nWait (boundedly) for the oldest message of the fixed-size family."},
    {"try_pop", py_pop<q_try_pop, false>, METH_NOARGS,
     "try_pop() -> bytes | None\n\nThe oldest message of the fixed-size family, without waiting."},
    {"pop_var", py_pop<q_pop_var, false>, METH_NOARGS,
     "pop_var() -> bytes | None\n\nAs pop, in the variable-size family."},
    {"try_pop_var", py_pop<q_try_pop_var, false>, METH_NOARGS,
     "try_pop_var() -> bytes | None\n\nAs try_pop, in the variable-size family."},
    {"close", py_close, METH_NOARGS, "close() -> None\n\nRefuse further pushes and wake every waiter."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef g_getset[] = {
    {"closed", get_closed, nullptr, "True once close() has been called.", nullptr},
    {"slot_size", get_slot_size, nullptr, "Largest message of the fixed-size family, in bytes.", nullptr},
    {"capacity", get_capacity, nullptr, "Number of slots (the requested capacity rounded up to a power of two).",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject g_type = py::make_type<SPSCQueueObject>({
    .name = "zelvar.spsc_queue.spsc_queue.SPSCQueue",
    .flags = Py_TPFLAGS_BASETYPE,
    .doc = "SPSCQueue(slot_size, capacity, overwrite=False, zerocopy=False, block_on_full=False)\n\n"
           "A lock-free single-producer single-consumer ring of byte messages. One thread pushes and one\n"
           "thread pops; a second thread calling into a side that is in use gets RuntimeError.",
    .methods = g_methods,
    .getset = g_getset,
    .new_ = queue_new,
    .dealloc = queue_dealloc,
});

// --- module ------------------------------------------------------------------------------

py::ModuleOnce g_once{"spsc_queue", "zelvar.spsc_queue.spsc_queue"};

bool fill(PyObject* m) { return py::add_type(m, &g_type, "SPSCQueue", const_cast<SPSCQueueVTable*>(&g_vtable)); }

}  // namespace
}  // namespace zelvar::spsc

PyMODINIT_FUNC PyInit_spsc_queue() { return zelvar::py::Module<zelvar::spsc::g_once, zelvar::spsc::fill>::init(); }
