// producer: an extension module outside zelvar, built against zelvar's installed headers only,
// that feeds a SyncDispatcher or an AsyncDispatcher from its own native thread without the GIL
// and logs through zelvar's loggers.
//
//     setup(dispatcher)             the dispatcher's native `setup` entry, from its type's table
//     start(dispatcher, count, size=16)
//     join() -> (pushed, retries)   retries: pushes refused because the ring was full
//
// Message `seq` is `size` bytes: seq as 8 little-endian bytes, then byte i = (seq + i) & 0xFF.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <thread>

// zelvar's headers first: they set spdlog and fmt up for the copies shipped beside them.
#include <zelvar/_pyext/capsule.hpp>
#include <zelvar/scrivo/scrivo.hpp>
#include <zelvar/utils/ferrix/ferrix.hpp>

#include <spdlog/logger.h>

namespace {

namespace ferrix = zelvar::ferrix;
namespace scrivo = zelvar::scrivo;

// Taken once at import and kept for the life of the process.
PyTypeObject* g_sync_type;
PyTypeObject* g_async_type;
const ferrix::SyncDispatcherVTable* g_sync_table;
const ferrix::AsyncDispatcherVTable* g_async_table;
scrivo::GetLoggerFn g_get_logger;

// One producer thread at a time; `target` is a strong reference, dropped by join().
struct Run {
    PyObject* target = nullptr;
    std::function<int(const char*, std::size_t)> push;
    SpdLogger log;
    std::thread thread;
    std::atomic<bool> stop{false};
    unsigned long long pushed = 0, retries = 0;
    int refused = 0;  // the first negative push result, if any
};
Run* g_run = nullptr;

// The thread body: touches no Python object, so it runs without the GIL.
void produce(Run* run, unsigned long long count, std::size_t size) {
    run->log->info("producer started: {} messages of {} bytes", count, size);
    std::string msg(size, '\0');
    for (unsigned long long seq = 0; seq < count && !run->stop; ++seq) {
        for (std::size_t i = 0; i < size; ++i)
            msg[i] = static_cast<char>(i < 8 ? (seq >> (8 * i)) & 0xFF : (seq + i) & 0xFF);
        int rc;
        while ((rc = run->push(msg.data(), msg.size())) == 0 && !run->stop) {
            ++run->retries;  // full: the consumer is behind
            std::this_thread::yield();
        }
        if (rc < 0) {
            run->refused = rc;
            run->log->error("producer stopped: message {} refused ({})", seq, rc);
            break;
        }
        if (rc > 0) ++run->pushed;
    }
    run->log->info("producer done: {} messages", run->pushed);
}

// Binds the dispatcher's push entry; false with TypeError for anything else.
bool bind_push(PyObject* obj, Run& run) {
    if (PyObject_TypeCheck(obj, g_sync_type)) {
        auto* d = reinterpret_cast<ferrix::SyncDispatcherObject*>(obj);
        run.push = [d](const char* data, std::size_t size) { return d->_push_fn(d, data, size); };
    } else if (PyObject_TypeCheck(obj, g_async_type)) {
        auto* d = reinterpret_cast<ferrix::AsyncDispatcherObject*>(obj);
        run.push = [d](const char* data, std::size_t size) { return d->_push_fn(d, data, size); };
    } else {
        PyErr_Format(PyExc_TypeError, "a SyncDispatcher or AsyncDispatcher is required, not %.200s",
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    return true;
}

PyObject* setup(PyObject*, PyObject* obj) {
    const ferrix::SetupOptions defaults{0, nullptr, 0};  // none given: 127.0.0.1, default buffer
    int rc;
    // dispatch 0: a Python subclass's override of setup runs, as it would for a Python caller.
    if (PyObject_TypeCheck(obj, g_sync_type))
        rc = g_sync_table->setup(reinterpret_cast<ferrix::SyncDispatcherObject*>(obj), 0, &defaults);
    else if (PyObject_TypeCheck(obj, g_async_type))
        rc = g_async_table->setup(reinterpret_cast<ferrix::AsyncDispatcherObject*>(obj), 0, &defaults);
    else
        return PyErr_Format(PyExc_TypeError, "a SyncDispatcher or AsyncDispatcher is required");
    if (rc < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* start(PyObject*, PyObject* args) {
    PyObject* obj;
    unsigned long long count;
    Py_ssize_t size = 16;
    if (!PyArg_ParseTuple(args, "OK|n:start", &obj, &count, &size)) return nullptr;
    if (g_run) return PyErr_Format(PyExc_RuntimeError, "a producer is running: join() it first");
    if (size < 8) return PyErr_Format(PyExc_ValueError, "size must be at least 8 (the sequence header)");
    auto* run = new Run();
    scrivo::LoggerOptions options{1, nullptr, 0};
    options.name = PyUnicode_FromString("producer");
    if (options.name) g_get_logger(run->log, &options);  // sets an exception on failure
    Py_XDECREF(options.name);
    if (PyErr_Occurred() || !bind_push(obj, *run)) {
        delete run;
        return nullptr;
    }
    run->target = Py_NewRef(obj);  // the thread's: the dispatcher outlives the pushes
    try {
        run->thread = std::thread(produce, run, count, static_cast<std::size_t>(size));
    } catch (const std::system_error& e) {
        Py_DECREF(run->target);
        delete run;
        return PyErr_Format(PyExc_RuntimeError, "cannot start the producer thread: %s", e.what());
    }
    g_run = run;
    Py_RETURN_NONE;
}

// Waits for the thread (without the GIL: the consumer may need it), then drops the reference.
PyObject* join(PyObject*, PyObject*) {
    Run* run = g_run;
    if (!run) return PyErr_Format(PyExc_RuntimeError, "no producer is running");
    g_run = nullptr;
    Py_BEGIN_ALLOW_THREADS run->thread.join();
    Py_END_ALLOW_THREADS Py_DECREF(run->target);
    PyObject* result = run->refused < 0
                           ? PyErr_Format(PyExc_RuntimeError, "the dispatcher refused message %llu (result %d)",
                                          run->pushed, run->refused)
                           : Py_BuildValue("(KK)", run->pushed, run->retries);
    delete run;
    return result;
}

// atexit: a producer left running is stopped (its consumer may already be gone) and joined.
PyObject* stop_at_exit(PyObject*, PyObject*) {
    if (!g_run) Py_RETURN_NONE;
    g_run->stop = true;
    PyObject* done = join(nullptr, nullptr);
    PyErr_Clear();  // a refusal is expected once the dispatchers close
    Py_XDECREF(done);
    Py_RETURN_NONE;
}

// Imports `name` from ferrix, checks its layout is at least the header's, and takes its native
// table from the `__pyx_vtable__` capsule (name NULL) in the type's dict.
PyTypeObject* import_type(PyObject* ferrix_module, const char* name, std::size_t size, const void** table) {
    PyObject* type = PyObject_GetAttrString(ferrix_module, name);
    if (!type) return nullptr;
    auto* t = reinterpret_cast<PyTypeObject*>(type);
    if (!PyType_Check(type) || t->tp_basicsize < static_cast<Py_ssize_t>(size)) {
        PyErr_Format(PyExc_ImportError, "%s.%s does not match the headers this module was built with",
                     ferrix::kModuleName, name);
        Py_DECREF(type);
        return nullptr;
    }
    PyObject* capsule = PyDict_GetItemString(t->tp_dict, "__pyx_vtable__");
    *table = capsule ? PyCapsule_GetPointer(capsule, nullptr) : nullptr;
    if (!*table) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_ImportError, "%s has no native table", name);
        Py_DECREF(type);
        return nullptr;
    }
    return t;
}

PyMethodDef g_exit_def = {"_stop_at_exit", stop_at_exit, METH_NOARGS, nullptr};

int exec_module(PyObject*) {
    PyObject* ferrix_module = PyImport_ImportModule(ferrix::kModuleName);
    if (!ferrix_module) return -1;
    const void *sync_table = nullptr, *async_table = nullptr;
    g_sync_type = import_type(ferrix_module, "SyncDispatcher", sizeof(ferrix::SyncDispatcherObject), &sync_table);
    g_async_type =
        g_sync_type ? import_type(ferrix_module, "AsyncDispatcher", sizeof(ferrix::AsyncDispatcherObject), &async_table)
                    : nullptr;
    Py_DECREF(ferrix_module);
    if (!g_async_type) {
        Py_CLEAR(g_sync_type);
        return -1;
    }
    g_sync_table = static_cast<const ferrix::SyncDispatcherVTable*>(sync_table);
    g_async_table = static_cast<const ferrix::AsyncDispatcherVTable*>(async_table);

    g_get_logger = reinterpret_cast<scrivo::GetLoggerFn>(
        zelvar::py::import_function("zelvar.scrivo.scrivo", "get_logger", scrivo::kGetLoggerSignature));
    if (!g_get_logger) return -1;

    // Registered after ferrix's own hook, so it runs first, while the consumers still run.
    PyObject* atexit = PyImport_ImportModule("atexit");
    PyObject* hook = atexit ? PyCFunction_New(&g_exit_def, nullptr) : nullptr;
    PyObject* done = hook ? PyObject_CallMethod(atexit, "register", "O", hook) : nullptr;
    Py_XDECREF(hook);
    Py_XDECREF(atexit);
    Py_XDECREF(done);
    return done ? 0 : -1;
}

PyMethodDef g_methods[] = {
    {"setup", setup, METH_O, "setup(dispatcher): the native setup entry, default options."},
    {"start", start, METH_VARARGS, "start(dispatcher, count, size=16): push from a native thread."},
    {"join", join, METH_NOARGS, "join() -> (pushed, retries): wait for the producer thread."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot g_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef g_def = {PyModuleDef_HEAD_INIT, "producer", nullptr, 0, g_methods, g_slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_producer() { return PyModuleDef_Init(&g_def); }
