// `setup(self, str host='127.0.0.1', int recvbuf=16777216)` of both dispatchers: the Python-level
// method, the override check of the native entry, and the doorbell endpoint it creates.
#pragma once

#include <utility>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/utils/ferrix/ferrix.hpp>

#include "consumer.hpp"
#include "doorbell.hpp"

namespace zelvar::ferrix {

inline constexpr int32_t kDefaultRecvbuf = 16777216;

// The Python-level method: binds the options and calls the native entry with the override check off.
template <class D>
PyObject* py_setup(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const auto params = py::params("setup", {"host", "recvbuf"});
    typename decltype(params)::Values v;
    SetupOptions options{2, nullptr, kDefaultRecvbuf};
    if (!params.bind(args, nargs, kwnames, v)) return nullptr;
    if (v[0] && !PyUnicode_CheckExact(v[0])) {
        py::raise_argument_type(v[0], "host", "str");
        return nullptr;
    }
    if (v[1] && !py::to_int32(v[1], options.recvbuf)) return nullptr;
    py::Ref default_host(v[0] ? nullptr : PyUnicode_FromString("127.0.0.1"));
    options.host = v[0] ? v[0] : default_host.get();
    if (!options.host) return nullptr;
    auto* d = reinterpret_cast<D*>(self);
    if (d->vtab->setup(d, py::kNativeOnly, &options) < 0) return nullptr;
    Py_RETURN_NONE;
}

// The native entry's first step: with kHonourOverride, a Python subclass's override of setup runs
// instead (given the options that were passed). 1: the override ran (0 in *rc, or -1 on error);
// 0: carry on natively; -1: the lookup failed.
template <class D>
int run_setup_override(D* d, int dispatch, const SetupOptions* options, int* rc) {
    if (dispatch != py::kHonourOverride) return 0;
    py::Ref override{py::find_override(reinterpret_cast<PyObject*>(d), "setup", py_setup<D>)};
    if (!override) return PyErr_Occurred() ? -1 : 0;
    PyObject* host = options && options->count >= 1 ? options->host : nullptr;
    const int32_t recvbuf = options && options->count >= 2 ? options->recvbuf : kDefaultRecvbuf;
    py::Ref result(host ? PyObject_CallFunction(override.get(), "Oi", host, recvbuf)
                        : PyObject_CallFunction(override.get(), nullptr));
    *rc = result ? 0 : -1;
    return 1;
}

// (Re-)initialisation is refused between setup and close: producers may be pushing into the ring
// it would replace, and the consumer reads it.
template <class D>
bool may_initialise(D* d, const char* type_name) {
    if (!d->_state || !d->_state->set_up) return true;
    PyErr_Format(PyExc_RuntimeError, "%s.__init__: the dispatcher is set up; close() it before initialising it again",
                 type_name);
    return false;
}

// Disarms the doorbell and closes the socket in d->_sock, if any. The socket is taken out (None
// left behind) before the lock is released, so of two threads closing at once (a callback and
// another thread) one closes it and the other finds None. False with close()'s exception.
template <class D>
bool close_doorbell_socket(D* d) {
    if (d->_sock == Py_None) return true;
    py::Ref sock(std::exchange(d->_sock, Py_NewRef(Py_None)));
    // Nobody sends on or waits on the descriptor once disarmed: closing it is then safe.
    Py_BEGIN_ALLOW_THREADS d->_state->bell.disarm();
    Py_END_ALLOW_THREADS return static_cast<bool>(py::Ref(PyObject_CallMethod(sock.get(), "close", nullptr)));
}

// A new doorbell socket stored in d->_sock at once (so close closes it even if the binding fails),
// then bound to (host, 0) as the endpoint producers ring.
template <class D>
bool open_doorbell(D* d, bool blocking, const SetupOptions* options) {
    PyObject* host = options && options->count >= 1 ? options->host : nullptr;
    const int32_t recvbuf = options && options->count >= 2 ? options->recvbuf : kDefaultRecvbuf;
    py::Ref default_host;
    if (!host) {
        default_host.reset(PyUnicode_FromString("127.0.0.1"));
        if (!default_host) return false;
        host = default_host.get();
    }
    // A socket left by an earlier setup (its binding failed, or its consumer has ended) is disarmed
    // and closed first: dropping it armed would let a producer ring a descriptor number that is no
    // longer ours, and dropping it unclosed leaves the closing to the collector.
    if (!close_doorbell_socket(d)) return false;
    PyObject* sock = setup_socket(blocking, recvbuf);
    if (!sock) return false;
    Py_SETREF(d->_sock, sock);
    return d->_state->bell.bind(sock, host);
}

}  // namespace zelvar::ferrix
