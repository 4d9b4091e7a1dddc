// The Python-level methods both dispatchers share beyond setup and close: push(data), a Python
// producer through the dispatcher's own push entry, and qsize().
#pragma once

#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/spsc_queue/spsc_queue.hpp>

#include "bell_push.hpp"
#include "buffers.hpp"
#include "module_state.hpp"

namespace zelvar::ferrix {

inline constexpr const char* kPushBusy =
    "push: another thread is already pushing into this dispatcher; its ring has one producer";

// push(data): the bytes of any contiguous buffer through `_push_fn`, exactly as a native producer
// stores them (doorbell included); the entry's result is returned. The ring's producer side is
// taken for the call, so a second Python producer meanwhile is refused; native producers know
// nothing of it. The lock is released while the entry runs: a ring-mode push on a full ring with
// block_on_full waits for room, which the consumer makes only with the lock.
template <class D>
PyObject* py_push(PyObject* self, PyObject* data) {
    auto* d = reinterpret_cast<D*>(self);
    Py_buffer view;
    const char* bytes = nullptr;
    std::size_t size = 0;
    if (buf_to_cbuf(data, &view, &bytes, &size) < 0) return nullptr;
    int rc = spsc::kClosed;
    bool entered = true;
    if (accepts_pushes(d)) {                    // else closed: the entry would refuse, and no side need be taken
        py::Ref held = py::Ref::borrow(d->_q);  // alive while the lock is released
        // The ring's published producer flag, the one SPSCQueue's own Python push takes: Python producers
        // of the dispatcher and of its ring exclude each other.
        spsc::Side side(ring(held.get())->py_pushing, kPushBusy);
        entered = static_cast<bool>(side);
        if (entered) {
            Py_BEGIN_ALLOW_THREADS rc = d->_push_fn(d, bytes, size);
            Py_END_ALLOW_THREADS
        }
    }
    PyBuffer_Release(&view);
    return entered ? PyLong_FromLong(rc) : nullptr;
}

// qsize(): messages waiting in the ring now (0 without a ring).
template <class D>
PyObject* py_qsize(PyObject* self, PyObject*) {
    auto* d = reinterpret_cast<D*>(self);
    return PyLong_FromSize_t(has_ring(d) ? ring_size(d->_q) : 0);
}

#define ZELVAR_DISPATCHER_PRODUCER_METHODS(D, type_name)                                                        \
    {"push", py_push<D>, METH_O,                                                                                \
     type_name                                                                                                  \
     ".push(self, data) -> int\n\n"                                                                             \
     "Stores the bytes of `data` (any contiguous bytes-like object) through the dispatcher's push "             \
     "entry, as a\nnative producer does, and returns the entry's result: above 0 stored, 0 not stored "         \
     "(full), -1 closed\n(or no ring), -2 too large. The ring has one producer: a second Python thread "        \
     "pushing meanwhile\ngets RuntimeError, and native producers and push must not run at once."},              \
    {                                                                                                           \
        "qsize", py_qsize<D>, METH_NOARGS, type_name ".qsize(self) -> int\n\nMessages waiting in the ring now." \
    }

}  // namespace zelvar::ferrix
