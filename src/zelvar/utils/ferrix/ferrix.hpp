// zelvar.utils.ferrix.ferrix as native code sees it: the object layouts and native method tables
// of its types, and the buffer conversion functions published in its `__pyx_capi__` dict.
//
// A producer in another extension module, on any thread and without the interpreter lock, stores
// a message through an object's push entry:
//
//     auto* pipe = reinterpret_cast<zelvar::ferrix::NexoPipeObject*>(obj);   // type-checked once
//     int stored = pipe->_push_fn(pipe, data, size);                          // > 0: stored
//
// The entries touch only the ring (and, for dispatchers, the doorbell descriptor): never a Python
// object. Turning a Python message into (data, size) needs the lock; use the conversion functions:
//
//     zelvar::ferrix::BufferApi api;
//     if (!zelvar::ferrix::import_buffer_api(api)) return nullptr;            // with the lock held
//     const char* data; size_t size;
//     if (api.str_to_cbuf(text, &data, &size) < 0) return nullptr;           // valid while `text` lives
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include <zelvar/_pyext/capsule.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/spsc_queue/spsc_queue.hpp>

namespace zelvar::ferrix {

using spsc::SPSCQueueObject;

// --- NexoPipe: a bare ring with one fixed set of producer and consumer entries ------------------

struct NexoPipeObject;

struct NexoPipeVTable {
    int (*push)(NexoPipeObject* self, const char* data, std::size_t size);
    int (*push_var)(NexoPipeObject* self, const char* data, std::size_t size);
    int (*pop)(NexoPipeObject* self, const char** data, std::size_t* size);
    int (*pop_var)(NexoPipeObject* self, const char** data, std::size_t* size);
    void (*release)(NexoPipeObject* self);
    void (*release_var)(NexoPipeObject* self);  // nothing to release: a variable-size pop frees at the next call
};

// Reading one message, in either size mode:
//     if (p->_pop_fn(p, &data, &size) == 1) { use(data, size); p->_release_fn(p); }
struct NexoPipeObject {
    PyObject_HEAD const NexoPipeVTable* vtab;
    PyObject* _q;  // the SPSCQueue, or None before the constructor succeeded
    int (*_push_fn)(NexoPipeObject* self, const char* data, std::size_t size);
    int (*_pop_fn)(NexoPipeObject* self, const char** data, std::size_t* size);
    void (*_release_fn)(NexoPipeObject* self);
};

// --- CBufferView: a reusable view of one message object ------------------------------------------

struct CBufferViewObject;

// Each load sets `data` and `size` from `obj` and returns 0, or -1 with a Python exception set.
using LoadFn = int (*)(CBufferViewObject* self, PyObject* obj);

struct CBufferViewVTable {
    LoadFn _load_bytes;  // kind 0: a bytes object, no check, no reference kept
    LoadFn _load_buf;    // kind 2: a simple buffer, held until the next buffer load or the view's end
    LoadFn _load_str;    // kind 1: a str's cached UTF-8 form, no reference kept
    LoadFn _load_obj;    // kind 3: bytes(obj), owned in `holder` until the next object load
    LoadFn _load;        // kind 4 (and any other number): bytes, str, buffer, else bytes(obj)
};

struct CBufferViewObject {
    PyObject_HEAD const CBufferViewVTable* vtab;
    const char* data;
    std::size_t size;
    int msg_kind;
    Py_buffer view;    // held while view.buf is not null
    PyObject* holder;  // owned bytes of the last object load, or null
    LoadFn loader;     // the load of `msg_kind`
};

// --- SyncDispatcher: a native consumer thread hands each message to a Python callback ---------------

struct SyncDispatcherObject;
struct ConsumerState;  // shared by a dispatcher and its consumer (internal)

// Optional arguments of setup: `count` of (host, recvbuf) given; host is a borrowed str.
struct SetupOptions {
    int32_t count;
    PyObject* host;
    int32_t recvbuf;
};

// setup and close return 0, or -1 with a Python exception set; with dispatch 0 a Python subclass's
// override of the method runs instead. The consume_* entries are the consumer thread's bodies.
struct SyncDispatcherVTable {
    int (*setup)(SyncDispatcherObject* self, int dispatch, const SetupOptions* options);
    int (*try_push_bell)(SyncDispatcherObject* self, const char* data, std::size_t size);
    int (*try_push_var_bell)(SyncDispatcherObject* self, const char* data, std::size_t size);
    int (*push)(SyncDispatcherObject* self, const char* data, std::size_t size);
    int (*push_var)(SyncDispatcherObject* self, const char* data, std::size_t size);
    void (*consume_try_pop)(ConsumerState* state);
    void (*consume_try_pop_var)(ConsumerState* state);
    void (*consume_pop)(ConsumerState* state);
    void (*consume_pop_var)(ConsumerState* state);
    int (*close)(SyncDispatcherObject* self, int dispatch);
};

// A producer needs only `_push_fn`; the other fields are the dispatcher's own.
struct SyncDispatcherObject {
    PyObject_HEAD const SyncDispatcherVTable* vtab;
    PyObject* _q;  // the SPSCQueue, or None
    int (*_push_fn)(SyncDispatcherObject* self, const char* data, std::size_t size);
    PyObject* _callback;
    PyObject* _sock;  // the doorbell socket, or None
    bool detach;
    bool variable_size;
    bool nonblocking;
    std::shared_ptr<ConsumerState> _state;  // run flag, doorbell descriptor and address
    std::thread* _thread;                   // the consumer thread while attached
};

// --- AsyncDispatcher: a reader task on an event loop awaits a Python callback per message ----------

struct AsyncDispatcherObject;

// setup returns 0, or -1 with a Python exception set; with dispatch 0 a Python subclass's override
// runs instead. It must run on the event loop's thread, inside the running loop.
struct AsyncDispatcherVTable {
    int (*setup)(AsyncDispatcherObject* self, int dispatch, const SetupOptions* options);
    int (*try_push_bell)(AsyncDispatcherObject* self, const char* data, std::size_t size);
    int (*try_push_var_bell)(AsyncDispatcherObject* self, const char* data, std::size_t size);
};

// A producer needs only `_push_fn` (any thread, no interpreter lock).
struct AsyncDispatcherObject {
    PyObject_HEAD const AsyncDispatcherVTable* vtab;
    PyObject* _q;  // the SPSCQueue, or None
    int (*_push_fn)(AsyncDispatcherObject* self, const char* data, std::size_t size);
    PyObject* _callback;
    PyObject* _sock;  // the doorbell socket, or None
    PyObject* _task;  // the reader task, or None
    bool variable_size;
    std::shared_ptr<ConsumerState> _state;  // run flag, doorbell descriptor and address
};

// --- AsyncQueue: coroutines on one event loop push and pop through a ring ----------------------------

struct AsyncQueueObject;

// start_dispatcher returns a new reference (None), or null with a Python exception set; with
// dispatch 0 a Python subclass's override of the method runs instead.
struct AsyncQueueVTable {
    PyObject* (*start_dispatcher)(AsyncQueueObject* self, PyObject* callback, int dispatch);
};

// Every object field holds None when empty. Everything runs on the event loop's thread.
struct AsyncQueueObject {
    PyObject_HEAD const AsyncQueueVTable* vtab;
    PyObject* _q;            // the SPSCQueue, or None before __init__
    PyObject* _loop;         // where the dispatcher task is created
    PyObject* _callback;     // what the dispatcher task feeds
    PyObject* _lock;         // asyncio.Lock under _notify_cond
    PyObject* _notify_cond;  // asyncio.Condition(_lock): wakes waiting consumers
    PyObject* _task;         // the latest dispatcher task
    int _running;            // carried by pickles only
    std::size_t _batch;      // messages per call of the dispatcher task's callback (0: one bytes object)
};

// --- buffer conversion functions (`__pyx_capi__`) --------------------------------------------------

// Kind 3: *holder = bytes(obj) (a new reference the caller releases when done with *data).
using ObjToCbufFn = int (*)(PyObject* obj, PyObject** holder, const char** data, std::size_t* size);
// Kind 2: fills the caller's view (PyBUF_SIMPLE); the caller releases it when done.
using BufToCbufFn = int (*)(PyObject* obj, Py_buffer* view, const char** data, std::size_t* size);
// Kind 0: the contents of a bytes object, no check and no reference; never fails.
using BytesToCbufFn = int (*)(PyObject* obj, const char** data, std::size_t* size);
// Kind 1: the str's own cached UTF-8 form; *data is null on failure.
using StrToCbufFn = int (*)(PyObject* obj, const char** data, std::size_t* size);

inline constexpr const char* kModuleName = "zelvar.utils.ferrix.ferrix";
inline constexpr const char* kObjToCbufSignature = "int (PyObject *, PyObject **, char const **, size_t *)";
inline constexpr const char* kBufToCbufSignature = "int (PyObject *, Py_buffer *, char const **, size_t *)";
inline constexpr const char* kBytesToCbufSignature = "int (PyObject *, char const **, size_t *)";
inline constexpr const char* kStrToCbufSignature = "int (PyObject *, char const **, size_t *)";

struct BufferApi {
    ObjToCbufFn obj_to_cbuf = nullptr;
    BufToCbufFn buf_to_cbuf = nullptr;
    BytesToCbufFn bytes_to_cbuf = nullptr;
    StrToCbufFn str_to_cbuf = nullptr;
};

// Imports the module and takes the four functions from its `__pyx_capi__`, checking each capsule's
// signature. Needs the interpreter lock; false with a Python exception set on failure.
inline bool import_buffer_api(BufferApi& api) {
    PyObject* table = py::import_capi(kModuleName);
    if (!table) return false;
    auto take = [table](const char* key, const char* signature) {
        return py::take_function(table, kModuleName, key, signature);
    };
    api.obj_to_cbuf = reinterpret_cast<ObjToCbufFn>(take("obj_to_cbuf", kObjToCbufSignature));
    api.buf_to_cbuf =
        api.obj_to_cbuf ? reinterpret_cast<BufToCbufFn>(take("buf_to_cbuf", kBufToCbufSignature)) : nullptr;
    api.bytes_to_cbuf =
        api.buf_to_cbuf ? reinterpret_cast<BytesToCbufFn>(take("bytes_to_cbuf", kBytesToCbufSignature)) : nullptr;
    api.str_to_cbuf =
        api.bytes_to_cbuf ? reinterpret_cast<StrToCbufFn>(take("str_to_cbuf", kStrToCbufSignature)) : nullptr;
    Py_DECREF(table);
    return api.str_to_cbuf != nullptr;
}

}  // namespace zelvar::ferrix
