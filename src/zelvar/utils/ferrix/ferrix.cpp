// Module definition and import sequence of zelvar.utils.ferrix.ferrix.
#include <utility>

#include <zelvar/_pyext/call.hpp>
#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "async_dispatcher.hpp"
#include "async_queue.hpp"
#include "buffers.hpp"
#include "consumer.hpp"
#include "doorbell.hpp"
#include "module_state.hpp"
#include "pipe.hpp"
#include "sync_dispatcher.hpp"

namespace zelvar::ferrix {
namespace {

py::ModuleOnce g_once{"ferrix", kModuleName};

bool add_types_and_capi(PyObject* m) {
    py::Ref capi(PyDict_New());
    return capi && add_buffer_capi(capi.get()) && PyModule_AddObjectRef(m, "__pyx_capi__", capi.get()) == 0 &&
           add_sync_dispatcher_type(m) && add_async_dispatcher_type(m) && add_async_queue_type(m) && add_pipe_type(m) &&
           add_buffer_view_type(m);
}

// from zelvar.scrivo import DefaultLogger, with the import statement's message when it is missing.
bool import_default_logger(PyObject* m) {
    py::Ref package(PyImport_ImportModule("zelvar.scrivo"));
    if (!package) return false;
    py::Ref cls(PyObject_GetAttrString(package.get(), "DefaultLogger"));
    if (!cls) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        PyErr_Format(PyExc_ImportError, "cannot import name %S", py::Ref(PyUnicode_FromString("DefaultLogger")).get());
        return false;
    }
    return PyModule_AddObjectRef(m, "DefaultLogger", cls.get()) == 0;
}

bool import_standard_modules(PyObject* m) {
    for (const char* name : {"asyncio", "sys"}) {
        py::Ref module(PyImport_ImportModule(name));
        if (!module || PyModule_AddObjectRef(m, name, module.get()) < 0) return false;
    }
    return true;
}

bool make_logger(PyObject* m) {
    py::Ref logger(PyObject_CallNoArgs(global("DefaultLogger")));
    return logger && PyModule_AddObjectRef(m, "logger", logger.get()) == 0;
}

bool fill(PyObject* m) {
    return add_types_and_capi(m) && bind_ring_type() && import_default_logger(m) && import_standard_modules(m) &&
           bind_imported_objects() && py::prepare_calls() && make_logger(m) && add_setup_socket(m) &&
           install_exit_hook(m);
}

}  // namespace

PyObject* module() { return g_once.module; }

PyObject* global(const char* name) { return py::module_global(g_once.module, name); }

namespace {
ImportedObjects g_imported;
}  // namespace

const ImportedObjects& imported() { return g_imported; }

bool bind_imported_objects() {
    py::Ref asyncio(PyImport_ImportModule("asyncio"));
    if (!asyncio) return false;
    ImportedObjects& o = g_imported;
    for (auto [field, name] :
         {std::pair{&o.get_running_loop, "get_running_loop"}, std::pair{&o.peek_running_loop, "_get_running_loop"},
          std::pair{&o.cancelled_error, "CancelledError"}, std::pair{&o.lock_type, "Lock"},
          std::pair{&o.condition_type, "Condition"}}) {
        if (!*field && !(*field = PyObject_GetAttrString(asyncio.get(), name))) return false;
    }
    if (!o.socket_module && !(o.socket_module = PyImport_ImportModule("socket"))) return false;
    return true;
}

}  // namespace zelvar::ferrix

PyMODINIT_FUNC PyInit_ferrix() { return zelvar::py::Module<zelvar::ferrix::g_once, zelvar::ferrix::fill>::init(); }
