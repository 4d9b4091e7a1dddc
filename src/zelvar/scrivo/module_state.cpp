#include "module_state.hpp"

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/ref.hpp>

namespace zelvar::scrivo {

py::ModuleOnce g_module_once{"scrivo", kModuleName};

namespace {

ModuleState g_state;

// The directory of the standard `logging` package (see ModuleState::logging_dir).
bool find_logging_dir(PyObject* logging) {
    py::Ref file(PyObject_GetAttrString(logging, "__file__"));
    if (!file) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        return true;
    }
    if (!PyUnicode_Check(file.get())) return true;
    const Py_ssize_t slash = PyUnicode_FindChar(file.get(), '/', 0, PyUnicode_GET_LENGTH(file.get()), -1);
    if (slash == -2) return false;
    if (slash < 0) return true;
    PyObject* dir = PyUnicode_Substring(file.get(), 0, slash + 1);
    if (!dir) return false;
    Py_XSETREF(g_state.logging_dir, dir);
    return true;
}

bool intern(PyObject*& slot, const char* text) {
    if (!slot) slot = PyUnicode_InternFromString(text);
    return slot != nullptr;
}

bool make_names(AttributeNames& n) {
    const char* const thresholds[] = {"_debug", "_info", "_warn", "_error", "_critical"};
    for (int i = 0; i < 5; ++i)
        if (!intern(n.thresholds[i], thresholds[i])) return false;
    return intern(n.get_message, "getMessage") && intern(n.encode, "encode") && intern(n.levelno, "levelno") &&
           intern(n.exc_info, "exc_info") && intern(n.stack_info, "stack_info") && intern(n.name, "name") &&
           intern(n.dict, "__dict__") && intern(n.pathname, "pathname") && intern(n.lineno, "lineno") &&
           intern(n.func_name, "funcName") && intern(n.zelvar_logger, "_zelvar_logger");
}

}  // namespace

const ModuleState& state() { return g_state; }

bool make_module_state() {
    ModuleState& s = g_state;
    if (!make_names(s.names)) return false;
    if (!s.default_handler_pattern) s.default_handler_pattern = PyUnicode_InternFromString(kDefaultHandlerPattern);
    if (!s.default_logger_pattern) s.default_logger_pattern = PyUnicode_InternFromString(kDefaultLoggerPattern);
    if (!s.default_handlers) s.default_handlers = PyList_New(0);
    return s.default_handler_pattern && s.default_logger_pattern && s.default_handlers;
}

bool bind_standard_modules(PyObject* m) {
    py::Ref logging(PyImport_ImportModule("logging"));
    if (!logging || PyModule_AddObjectRef(m, "py_logging", logging.get()) < 0 || !find_logging_dir(logging.get()))
        return false;
    py::Ref traceback(PyImport_ImportModule("traceback"));
    return traceback && PyModule_AddObjectRef(m, "traceback", traceback.get()) == 0;
}

void set_py_log_handler(PyObject* cls) { Py_XSETREF(g_state.py_log_handler, Py_NewRef(cls)); }

PyObject* module() { return g_module_once.module; }

PyObject* global(const char* name) { return py::module_global(module(), name); }

PyObject* level_to_python(int32_t level) {
    PyObject* level_class = PyDict_GetItemString(PyModule_GetDict(module()), "Level");
    if (!level_class) {
        PyErr_SetString(PyExc_NameError, "name 'Level' is not defined");
        return nullptr;
    }
    py::Ref keep = py::Ref::borrow(level_class);
    return py::level_to_python(keep.get(), level);
}

}  // namespace zelvar::scrivo
