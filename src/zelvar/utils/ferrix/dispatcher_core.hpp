// The lifecycle both dispatcher types share: allocation, the cycle collector's traverse and clear,
// finalize (which closes, honouring a subclass's close) and dealloc. The shared fields are the
// ring, the callback, the doorbell socket and the consumer state; a dispatcher type describes
// only what it adds, in a `Kind`:
//
//     using Object = ...;                                   // the instance layout
//     static constexpr const char* kDeallocContext;         // names an error raised by the finalizer
//     static const auto* table();                           // its native method table
//     static void init_own(Object*);                        // its own fields at allocation
//     static int visit_own(Object*, visitproc, void*);      // ... shown to the collector
//     static void clear_own(Object*);                       // ... set to None by tp_clear
//     static void release_own(Object*);                     // ... dropped by tp_dealloc
//     static int close(Object*, int dispatch);              // close, as its table entry behaves
#pragma once

#include <memory>
#include <new>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/types.hpp>

#include "consumer.hpp"
#include "dispatcher_setup.hpp"
#include "ring_arguments.hpp"

namespace zelvar::ferrix {

template <class Kind>
struct DispatcherCore {
    using D = typename Kind::Object;

    static D* as(PyObject* self) { return reinterpret_cast<D*>(self); }

    // Every object field holds None and the consumer state exists before __init__ runs, so close
    // and the entries work on an object that was never initialised.
    static PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) {
        PyObject* self = type->tp_alloc(type, 0);
        if (!self) return nullptr;
        D* d = as(self);
        d->vtab = Kind::table();
        d->_q = Py_NewRef(Py_None);
        d->_callback = Py_NewRef(Py_None);
        d->_sock = Py_NewRef(Py_None);
        Kind::init_own(d);
        new (&d->_state) std::shared_ptr<ConsumerState>();
        if (py::guard([&] { return d->_state = std::make_shared<ConsumerState>(), 0; }) < 0) {
            Py_DECREF(self);
            return nullptr;
        }
        return self;
    }

    // __init__'s shared step, refused between setup and close: the new ring first, so a failed
    // (re-)initialisation changes no field and a live dispatcher keeps a consistent ring, push
    // entry, modes and callback; then the callback, the size mode and the batch size.
    static bool initialise(D* d, const char* type_name, const RingArguments& ring_args, PyObject* callback,
                           bool variable_size, std::size_t batch) {
        if (!may_initialise(d, type_name)) return false;
        PyObject* q = make_ring(ring_args);
        if (!q) return false;
        Py_SETREF(d->_q, q);
        Py_SETREF(d->_callback, Py_NewRef(callback));
        d->variable_size = variable_size;
        d->_state->batch = batch;
        return true;
    }

    // The destructor closes through the override check, so a subclass's close is honoured.
    static void tp_finalize(PyObject* self) {
        py::detail::PreserveError keep;
        if (Kind::close(as(self), py::kHonourOverride) < 0) py::write_unraisable(Kind::kDeallocContext);
    }

    static int tp_traverse(PyObject* self, visitproc visit, void* arg) {
        D* d = as(self);
        Py_VISIT(d->_q);
        Py_VISIT(d->_callback);
        Py_VISIT(d->_sock);
        return Kind::visit_own(d, visit, arg);
    }

    static int tp_clear(PyObject* self) {
        D* d = as(self);
        Py_SETREF(d->_callback, Py_NewRef(Py_None));
        Py_SETREF(d->_sock, Py_NewRef(Py_None));
        Kind::clear_own(d);
        return 0;  // the ring stays: producers may still hold the dispatcher and push into it
    }

    static void tp_dealloc(PyObject* self) {
        if (PyObject_CallFinalizerFromDealloc(self) < 0) return;  // resurrected
        PyObject_GC_UnTrack(self);
        D* d = as(self);
        Kind::release_own(d);
        Py_CLEAR(d->_q);
        Py_CLEAR(d->_callback);
        Py_CLEAR(d->_sock);
        d->_state.~shared_ptr();
        py::free_object(self);
    }

    // The type object: the shared lifecycle with the dispatcher type's own name, doc, methods and init.
    static PyTypeObject make_type(const char* name, const char* doc, PyMethodDef* methods, initproc init) {
        return py::make_type<D>({
            .name = name,
            .flags = Py_TPFLAGS_BASETYPE,
            .doc = doc,
            .methods = methods,
            .new_ = tp_new,
            .init = init,
            .dealloc = tp_dealloc,
            .finalize = tp_finalize,
            .gc = {tp_traverse, tp_clear},
        });
    }
};

// With `dispatch` kHonourOverride, a Python subclass's own close runs instead of the native one:
// 1 when it ran (*rc 0, or -1 on error), 0 to carry on natively, -1 when the lookup failed.
inline int run_close_override(PyObject* self, int dispatch, PyCFunction own, int* rc) {
    if (dispatch != py::kHonourOverride) return 0;
    py::Ref override{py::find_override(self, "close", own)};
    if (!override) return PyErr_Occurred() ? -1 : 0;
    *rc = py::Ref(PyObject_CallNoArgs(override.get())) ? 0 : -1;
    return 1;
}

}  // namespace zelvar::ferrix
