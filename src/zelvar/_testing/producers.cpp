// zelvar._testing, bridge part: native producers and consumers on their own threads, without the
// interpreter lock, and the buffer conversions, all through the bridge's public header.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <zelvar/utils/ferrix/ferrix.hpp>

#include "testing.hpp"

namespace {

using zelvar::ferrix::CBufferViewObject;
using zelvar::ferrix::NexoPipeObject;

// The bytes of message `seq` of producer `id` with `size` bytes: an 8-byte header (id, seq, little
// endian) then bytes derived from both, so a receiver can check every byte.
std::string make_message(uint32_t id, uint32_t seq, std::size_t size) {
    std::string m(size, '\0');
    unsigned char header[8];
    std::memcpy(header, &id, 4);
    std::memcpy(header + 4, &seq, 4);
    std::memcpy(m.data(), header, size < 8 ? size : 8);
    for (std::size_t i = 8; i < size; ++i) m[i] = static_cast<char>((id * 31 + seq + i) & 0xFF);
    return m;
}

// A push entry of any bridge object: the `_push_fn` field, wherever the type keeps it.
using PushFn = int (*)(void*, const char*, std::size_t);

bool has_type(PyObject* obj, const char* name) {
    PyObject* mro = Py_TYPE(obj)->tp_mro;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
        if (std::strcmp(reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i))->tp_name, name) == 0) return true;
    }
    return false;
}

PushFn push_entry_of(PyObject* obj) {
    if (has_type(obj, "zelvar.utils.ferrix.ferrix.NexoPipe")) {
        return reinterpret_cast<PushFn>(reinterpret_cast<NexoPipeObject*>(obj)->_push_fn);
    }
    if (has_type(obj, "zelvar.utils.ferrix.ferrix.SyncDispatcher")) {
        return reinterpret_cast<PushFn>(reinterpret_cast<zelvar::ferrix::SyncDispatcherObject*>(obj)->_push_fn);
    }
    if (has_type(obj, "zelvar.utils.ferrix.ferrix.AsyncDispatcher")) {
        return reinterpret_cast<PushFn>(reinterpret_cast<zelvar::ferrix::AsyncDispatcherObject*>(obj)->_push_fn);
    }
    PyErr_Format(PyExc_TypeError, "no push entry known for %.200s", Py_TYPE(obj)->tp_name);
    return nullptr;
}

bool read_sizes(PyObject* seq, std::vector<std::size_t>& out) {
    PyObject* fast = PySequence_Fast(seq, "sizes must be a sequence");
    if (!fast) return false;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(fast); ++i) {
        const std::size_t n = PyLong_AsSize_t(PySequence_Fast_GET_ITEM(fast, i));
        if (n == static_cast<std::size_t>(-1) && PyErr_Occurred()) {
            Py_DECREF(fast);
            return false;
        }
        out.push_back(n);
    }
    Py_DECREF(fast);
    if (out.empty()) out.push_back(16);
    return true;
}

// produce(obj, threads, messages, sizes=(16,), retry_full=False) -> [accepted per thread]
// Each thread pushes `messages` messages through obj's push entry; message i of a thread has
// sizes[i % len(sizes)] bytes. With retry_full a push refused as full (0) is tried again.
PyObject* produce(PyObject*, PyObject* args) {
    PyObject *obj, *sizes_obj = nullptr;
    int threads, retry = 0;
    unsigned long long messages;
    if (!PyArg_ParseTuple(args, "OiK|Op", &obj, &threads, &messages, &sizes_obj, &retry)) return nullptr;
    std::vector<std::size_t> sizes;
    if (sizes_obj && !read_sizes(sizes_obj, sizes)) return nullptr;
    if (sizes.empty()) sizes.push_back(16);
    PushFn push = push_entry_of(obj);
    if (!push) return nullptr;
    Py_INCREF(obj);  // alive for the threads
    std::vector<unsigned long long> accepted(static_cast<std::size_t>(threads), 0);
    Py_BEGIN_ALLOW_THREADS std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (unsigned long long i = 0; i < messages; ++i) {
                const std::string m =
                    make_message(static_cast<uint32_t>(t), static_cast<uint32_t>(i), sizes[i % sizes.size()]);
                int rc;
                while ((rc = push(obj, m.data(), m.size())) == 0 && retry) std::this_thread::yield();
                if (rc > 0) ++accepted[static_cast<std::size_t>(t)];
            }
        });
    }
    for (auto& th : pool) th.join();
    Py_END_ALLOW_THREADS Py_DECREF(obj);
    PyObject* result = PyList_New(threads);
    for (int t = 0; t < threads && result; ++t)
        PyList_SET_ITEM(result, t, PyLong_FromUnsignedLongLong(accepted[static_cast<std::size_t>(t)]));
    return result;
}

// pipe_round_trip(pipe, messages, sizes) -> [bytes]: one native producer thread pushes through
// `_push_fn` (retrying while full) while one native consumer thread reads with `_pop_fn` and
// `_release_fn`; returns what the consumer received, in order.
PyObject* pipe_round_trip(PyObject*, PyObject* args) {
    PyObject *obj, *sizes_obj;
    unsigned long long messages;
    if (!PyArg_ParseTuple(args, "OKO", &obj, &messages, &sizes_obj)) return nullptr;
    if (!has_type(obj, "zelvar.utils.ferrix.ferrix.NexoPipe")) {
        PyErr_SetString(PyExc_TypeError, "a NexoPipe is required");
        return nullptr;
    }
    std::vector<std::size_t> sizes;
    if (!read_sizes(sizes_obj, sizes)) return nullptr;
    auto* pipe = reinterpret_cast<NexoPipeObject*>(obj);
    Py_INCREF(obj);
    std::vector<std::string> received;
    std::atomic<bool> producer_failed{false};
    Py_BEGIN_ALLOW_THREADS std::thread producer([&] {
        for (unsigned long long i = 0; i < messages; ++i) {
            const std::string m = make_message(0, static_cast<uint32_t>(i), sizes[i % sizes.size()]);
            int rc;
            while ((rc = pipe->_push_fn(pipe, m.data(), m.size())) == 0) std::this_thread::yield();
            if (rc < 0) {
                producer_failed = true;
                return;
            }
        }
    });
    std::thread consumer([&] {
        while (received.size() < messages && !producer_failed) {
            const char* data = nullptr;
            std::size_t size = 0;
            const int rc = pipe->_pop_fn(pipe, &data, &size);
            if (rc == 1) {
                received.emplace_back(data, size);
                pipe->_release_fn(pipe);
            } else if (rc < 0) {
                return;
            }
        }
    });
    producer.join();
    consumer.join();
    Py_END_ALLOW_THREADS Py_DECREF(obj);
    if (producer_failed) {
        PyErr_SetString(PyExc_RuntimeError, "the pipe refused a message");
        return nullptr;
    }
    PyObject* result = PyList_New(static_cast<Py_ssize_t>(received.size()));
    for (std::size_t i = 0; result && i < received.size(); ++i) {
        PyList_SET_ITEM(result, static_cast<Py_ssize_t>(i),
                        PyBytes_FromStringAndSize(received[i].data(), static_cast<Py_ssize_t>(received[i].size())));
    }
    return result;
}

// pipe_entries(pipe) -> names of the chosen entries, read by comparing with the table.
PyObject* pipe_entries(PyObject*, PyObject* obj) {
    auto* p = reinterpret_cast<NexoPipeObject*>(obj);
    const auto* t = p->vtab;
    const char* push = p->_push_fn == t->push ? "push" : p->_push_fn == t->push_var ? "push_var" : "?";
    const char* pop = p->_pop_fn == t->pop ? "pop" : p->_pop_fn == t->pop_var ? "pop_var" : "?";
    const char* release = p->_release_fn == t->release       ? "release"
                          : p->_release_fn == t->release_var ? "release_var"
                                                             : "?";
    return Py_BuildValue("(sss)", push, pop, release);
}

// pipe_call(pipe, entry, data=b"") -> int: one table entry on the calling thread ("push", "pop", ...).
PyObject* pipe_call(PyObject*, PyObject* args) {
    PyObject* obj;
    const char* entry;
    const char* data = "";
    Py_ssize_t size = 0;
    if (!PyArg_ParseTuple(args, "Os|y#", &obj, &entry, &data, &size)) return nullptr;
    auto* p = reinterpret_cast<NexoPipeObject*>(obj);
    const std::string e = entry;
    const char* out = nullptr;
    std::size_t out_size = 0;
    int rc = 0;
    if (e == "push")
        rc = p->vtab->push(p, data, static_cast<std::size_t>(size));
    else if (e == "push_var")
        rc = p->vtab->push_var(p, data, static_cast<std::size_t>(size));
    else if (e == "pop")
        rc = p->vtab->pop(p, &out, &out_size);
    else if (e == "pop_var")
        rc = p->vtab->pop_var(p, &out, &out_size);
    else if (e == "release")
        p->vtab->release(p);
    else if (e == "release_var")
        p->vtab->release_var(p);
    else {
        PyErr_SetString(PyExc_ValueError, "unknown entry");
        return nullptr;
    }
    if (rc == 1 && out) return Py_BuildValue("(iy#)", rc, out, static_cast<Py_ssize_t>(out_size));
    return Py_BuildValue("(iO)", rc, Py_None);
}

// --- buffer views and conversions ------------------------------------------------------------------

// load(view, obj, method=None) -> bytes: loads through `loader` or the named table entry and copies
// data[:size] out.
PyObject* load(PyObject*, PyObject* args) {
    PyObject *obj, *message;
    const char* method = nullptr;
    if (!PyArg_ParseTuple(args, "OO|z", &obj, &message, &method)) return nullptr;
    auto* v = reinterpret_cast<CBufferViewObject*>(obj);
    zelvar::ferrix::LoadFn fn = v->loader;
    if (method) {
        const std::string m = method;
        fn = m == "_load_bytes" ? v->vtab->_load_bytes
             : m == "_load_buf" ? v->vtab->_load_buf
             : m == "_load_str" ? v->vtab->_load_str
             : m == "_load_obj" ? v->vtab->_load_obj
             : m == "_load"     ? v->vtab->_load
                                : nullptr;
        if (!fn) {
            PyErr_SetString(PyExc_ValueError, "unknown load method");
            return nullptr;
        }
    }
    if (fn(v, message) < 0) return nullptr;
    return PyBytes_FromStringAndSize(v->data, static_cast<Py_ssize_t>(v->size));
}

// view_state(view) -> (data is null, size, msg_kind, buffer held, holder or None)
PyObject* view_state(PyObject*, PyObject* obj) {
    auto* v = reinterpret_cast<CBufferViewObject*>(obj);
    return Py_BuildValue("(OniOO)", v->data ? Py_False : Py_True, static_cast<Py_ssize_t>(v->size), v->msg_kind,
                         v->view.buf ? Py_True : Py_False, v->holder ? v->holder : Py_None);
}

// convert(kind, obj) -> bytes through the published conversion of that kind (0 to 3).
PyObject* convert(PyObject*, PyObject* args) {
    int kind;
    PyObject* obj;
    if (!PyArg_ParseTuple(args, "iO", &kind, &obj)) return nullptr;
    zelvar::ferrix::BufferApi api;
    if (!zelvar::ferrix::import_buffer_api(api)) return nullptr;
    const char* data = nullptr;
    std::size_t size = 0;
    switch (kind) {
        case 0:
            if (!PyBytes_Check(obj)) {
                PyErr_SetString(PyExc_TypeError, "kind 0 needs bytes (the conversion does not check)");
                return nullptr;
            }
            api.bytes_to_cbuf(obj, &data, &size);
            return PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size));
        case 1:
            if (api.str_to_cbuf(obj, &data, &size) < 0) {
                if (data) PyErr_SetString(PyExc_AssertionError, "a failed str_to_cbuf left data set");
                return nullptr;
            }
            return PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size));
        case 2: {
            Py_buffer view;
            if (api.buf_to_cbuf(obj, &view, &data, &size) < 0) return nullptr;
            PyObject* copy = PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size));
            PyBuffer_Release(&view);
            return copy;
        }
        case 3: {
            PyObject* holder = reinterpret_cast<PyObject*>(1);  // must become null on failure
            if (api.obj_to_cbuf(obj, &holder, &data, &size) < 0) {
                if (holder) PyErr_SetString(PyExc_AssertionError, "a failed obj_to_cbuf left the holder set");
                return nullptr;
            }
            PyObject* copy = PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size));
            Py_DECREF(holder);
            return copy;
        }
        default:
            PyErr_SetString(PyExc_ValueError, "kind must be 0 to 3");
            return nullptr;
    }
}

// flood(obj, messages, size) -> None: one native thread pushes the same `size`-byte message
// `messages` times through obj's push entry, retrying while full (a producer as fast as the ring).
PyObject* flood(PyObject*, PyObject* args) {
    PyObject* obj;
    unsigned long long messages;
    Py_ssize_t size;
    if (!PyArg_ParseTuple(args, "OKn", &obj, &messages, &size)) return nullptr;
    PushFn push = push_entry_of(obj);
    if (!push) return nullptr;
    const std::string m(static_cast<std::size_t>(size < 0 ? 0 : size), 'x');
    Py_INCREF(obj);
    bool closed = false;
    Py_BEGIN_ALLOW_THREADS std::thread producer([&] {
        for (unsigned long long i = 0; i < messages && !closed; ++i) {
            int rc;
            while ((rc = push(obj, m.data(), m.size())) == 0) std::this_thread::yield();
            closed = rc < 0;
        }
    });
    producer.join();
    Py_END_ALLOW_THREADS Py_DECREF(obj);
    if (closed) {
        PyErr_SetString(PyExc_RuntimeError, "the ring refused a message");
        return nullptr;
    }
    Py_RETURN_NONE;
}

// ping(obj, count, size, interval_us) -> [send time in ns]: a native thread pushes one message
// every interval_us, noting CLOCK_MONOTONIC (time.perf_counter_ns's clock) just before each push.
PyObject* ping(PyObject*, PyObject* args) {
    PyObject* obj;
    int count, interval_us;
    Py_ssize_t size;
    if (!PyArg_ParseTuple(args, "Oini", &obj, &count, &size, &interval_us)) return nullptr;
    PushFn entry = push_entry_of(obj);
    if (!entry) return nullptr;
    const std::string m(static_cast<std::size_t>(size < 0 ? 0 : size), 'p');
    std::vector<long long> sent(static_cast<std::size_t>(count < 0 ? 0 : count), 0);
    Py_INCREF(obj);
    Py_BEGIN_ALLOW_THREADS std::thread pinger([&] {
        for (auto& t : sent) {
            std::this_thread::sleep_for(std::chrono::microseconds(interval_us));
            timespec ts;
            clock_gettime(CLOCK_MONOTONIC, &ts);
            t = ts.tv_sec * 1000000000LL + ts.tv_nsec;
            entry(obj, m.data(), m.size());
        }
    });
    pinger.join();
    Py_END_ALLOW_THREADS Py_DECREF(obj);
    PyObject* result = PyList_New(static_cast<Py_ssize_t>(sent.size()));
    for (std::size_t i = 0; result && i < sent.size(); ++i)
        PyList_SET_ITEM(result, static_cast<Py_ssize_t>(i), PyLong_FromLongLong(sent[i]));
    return result;
}

// push(obj, data) -> the push entry's result, called on this thread with the lock released.
PyObject* push(PyObject*, PyObject* args) {
    PyObject* obj;
    Py_buffer data;
    if (!PyArg_ParseTuple(args, "Oy*", &obj, &data)) return nullptr;
    PushFn entry = push_entry_of(obj);
    int rc = 0;
    if (entry) {
        Py_BEGIN_ALLOW_THREADS rc = entry(obj, static_cast<const char*>(data.buf), static_cast<std::size_t>(data.len));
        Py_END_ALLOW_THREADS
    }
    PyBuffer_Release(&data);
    return entry ? PyLong_FromLong(rc) : nullptr;
}

// dispatcher_setup(dispatcher, dispatch, host=None) -> the native table's setup entry of either
// dispatcher (with dispatch 0 a Python override runs).
PyObject* dispatcher_setup(PyObject*, PyObject* args) {
    PyObject *obj, *host = nullptr;
    int dispatch;
    if (!PyArg_ParseTuple(args, "Oi|O", &obj, &dispatch, &host)) return nullptr;
    zelvar::ferrix::SetupOptions options{host ? 1 : 0, host, 0};
    int rc;
    if (has_type(obj, "zelvar.utils.ferrix.ferrix.SyncDispatcher")) {
        auto* d = reinterpret_cast<zelvar::ferrix::SyncDispatcherObject*>(obj);
        rc = d->vtab->setup(d, dispatch, &options);
    } else if (has_type(obj, "zelvar.utils.ferrix.ferrix.AsyncDispatcher")) {
        auto* d = reinterpret_cast<zelvar::ferrix::AsyncDispatcherObject*>(obj);
        rc = d->vtab->setup(d, dispatch, &options);
    } else {
        PyErr_SetString(PyExc_TypeError, "a dispatcher is needed");
        return nullptr;
    }
    if (rc < 0) return nullptr;
    Py_RETURN_NONE;
}

// queue_start_dispatcher(queue, callback, dispatch) -> the native table's start_dispatcher entry,
// reached through the table pointer every instance carries.
PyObject* queue_start_dispatcher(PyObject*, PyObject* args) {
    PyObject *queue, *callback;
    int dispatch;
    if (!PyArg_ParseTuple(args, "OOi", &queue, &callback, &dispatch)) return nullptr;
    if (!has_type(queue, "zelvar.utils.ferrix.ferrix.AsyncQueue")) {
        PyErr_SetString(PyExc_TypeError, "an AsyncQueue is needed");
        return nullptr;
    }
    auto* q = reinterpret_cast<zelvar::ferrix::AsyncQueueObject*>(queue);
    return q->vtab->start_dispatcher(q, callback, dispatch);
}

PyMethodDef g_methods[] = {
    {"produce", produce, METH_VARARGS, nullptr},
    {"queue_start_dispatcher", queue_start_dispatcher, METH_VARARGS, nullptr},
    {"dispatcher_setup", dispatcher_setup, METH_VARARGS, nullptr},
    {"flood", flood, METH_VARARGS, nullptr},
    {"push", push, METH_VARARGS, nullptr},
    {"ping", ping, METH_VARARGS, nullptr},
    {"pipe_round_trip", pipe_round_trip, METH_VARARGS, nullptr},
    {"pipe_entries", pipe_entries, METH_O, nullptr},
    {"pipe_call", pipe_call, METH_VARARGS, nullptr},
    {"load", load, METH_VARARGS, nullptr},
    {"view_state", view_state, METH_O, nullptr},
    {"convert", convert, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

bool add_bridge_functions(PyObject* module) { return PyModule_AddFunctions(module, g_methods) == 0; }
