// Module definition and import sequence of zelvar.scrivo.scrivo.
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "callback_sink.hpp"
#include "capi.hpp"
#include "handlers.hpp"
#include "loggers.hpp"
#include "module_state.hpp"
#include "record_hooks.hpp"
#include "stdlib_bridge.hpp"

namespace zelvar::scrivo {
namespace {

// Level = IntEnum("Level", [...], module=__module__ or the dotted name); members stay inside it.
bool make_level(PyObject* m) {
    py::Ref enum_module(PyImport_ImportModule("enum"));
    if (!enum_module) return false;
    py::Ref int_enum(PyObject_GetAttrString(enum_module.get(), "IntEnum"));
    if (!int_enum) return false;
    py::Ref members(Py_BuildValue("[(si)(si)(si)(si)(si)(si)(si)]", "TRACE", 0, "DEBUG", 1, "INFO", 2, "WARN", 3,
                                  "ERROR", 4, "CRITICAL", 5, "OFF", 6));
    if (!members) return false;
    PyObject* globals = PyModule_GetDict(m);
    PyObject* module_name = PyDict_GetItemString(globals, "__module__");
    py::Ref fallback;
    if (!module_name) {
        fallback.reset(PyUnicode_FromString(kModuleName));
        if (!fallback) return false;
        module_name = fallback.get();
    }
    py::Ref args(Py_BuildValue("(sO)", "Level", members.get()));
    py::Ref kwargs(Py_BuildValue("{sO}", "module", module_name));
    if (!args || !kwargs) return false;
    py::Ref level(PyObject_Call(int_enum.get(), args.get(), kwargs.get()));
    return level && PyDict_SetItemString(globals, "Level", level.get()) == 0;
}

// The import sequence: the module state, the native function table, the types in order, Level, then
// the module body.
bool fill(PyObject* m) {
    return make_module_state() && add_capi(m) && add_handler_types(m) && add_logger_types(m) && make_level(m) &&
           bind_standard_modules(m) && add_py_log_handler(m) && attach_logging_methods(m) &&
           add_handler_unpickle_functions(m) && add_default_logger_unpickle_function(m) && add_exit_hook(m) &&
           add_capture_functions(m) && add_callback_functions(m);
}

}  // namespace
}  // namespace zelvar::scrivo

PyMODINIT_FUNC PyInit_scrivo() {
    return zelvar::py::Module<zelvar::scrivo::g_module_once, zelvar::scrivo::fill>::init();
}
