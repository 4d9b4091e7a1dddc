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
           intern(n.func_name, "funcName") && intern(n.zelvar_logger, "_zelvar_logger") &&
           intern(n.level_class, "Level");
}

bool make_record_keys(RecordKeys& k) {
    if (!(intern(k.logger, "logger") && intern(k.level, "level") && intern(k.message, "message") &&
          intern(k.file, "file") && intern(k.line, "line") && intern(k.function, "function") &&
          intern(k.fields, "fields") && intern(k.exception, "exception")))
        return false;
    if (k.shape) return true;
    py::Ref shape(PyDict_New());
    for (PyObject* key : {k.logger, k.level, k.message, k.file, k.line, k.function, k.fields, k.exception})
        if (!shape || PyDict_SetItem(shape.get(), key, Py_None) < 0) return false;
    k.shape = shape.release();
    return true;
}

// The attributes a fresh LogRecord has, with "message" and "asctime" (see ModuleState).
bool find_standard_attributes(PyObject* logging) {
    if (g_state.standard_attributes) return true;
    py::Ref args(PyTuple_New(0));
    py::Ref record(args ? PyObject_CallMethod(logging, "LogRecord", "sisisOO", "", 0, "", 0, "", args.get(), Py_None)
                        : nullptr);
    py::Ref dict(record ? PyObject_GetAttrString(record.get(), "__dict__") : nullptr);
    py::Ref set(dict ? PySet_New(dict.get()) : nullptr);
    if (!set) return false;
    for (const char* added : {"message", "asctime"}) {
        py::Ref name(PyUnicode_InternFromString(added));
        if (!name || PySet_Add(set.get(), name.get()) < 0) return false;
    }
    g_state.standard_attributes = set.release();
    return true;
}

}  // namespace

const ModuleState& state() { return g_state; }

bool make_module_state() {
    ModuleState& s = g_state;
    if (!make_names(s.names) || !make_record_keys(s.record_keys)) return false;
    if (!s.default_handler_pattern) s.default_handler_pattern = PyUnicode_InternFromString(kDefaultHandlerPattern);
    if (!s.default_logger_pattern) s.default_logger_pattern = PyUnicode_InternFromString(kDefaultLoggerPattern);
    if (!s.default_handlers) s.default_handlers = PyList_New(0);
    return s.default_handler_pattern && s.default_logger_pattern && s.default_handlers;
}

bool bind_standard_modules(PyObject* m) {
    py::Ref logging(PyImport_ImportModule("logging"));
    if (!logging || PyModule_AddObjectRef(m, "py_logging", logging.get()) < 0 || !find_logging_dir(logging.get()) ||
        !find_standard_attributes(logging.get()))
        return false;
    py::Ref traceback(PyImport_ImportModule("traceback"));
    return traceback && PyModule_AddObjectRef(m, "traceback", traceback.get()) == 0;
}

void set_py_log_handler(PyObject* cls) { Py_XSETREF(g_state.py_log_handler, Py_NewRef(cls)); }

void set_context_var(PyObject* var) {
    if (var != g_state.context_var) Py_XSETREF(g_state.context_var, Py_NewRef(var));
}

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
