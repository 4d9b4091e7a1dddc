// Module definition and import sequence of zelvar.utils.ferrix.ferrix.
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
}  // namespace zelvar::ferrix

PyMODINIT_FUNC PyInit_ferrix() {
    return zelvar::py::Module<zelvar::ferrix::g_module_once, zelvar::ferrix::fill>::init();
}
