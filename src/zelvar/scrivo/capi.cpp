#include "capi.hpp"

#include <string>

#include <spdlog/spdlog.h>

#include <zelvar/_pyext/capsule.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

// The name of an option record (the empty name when not given) as UTF-8.
bool option_name(LoggerOptions* options, std::string& out) {
    PyObject* name = options && options->count >= 1 ? options->name : nullptr;
    if (!name) {
        out.clear();
        return true;
    }
    if (name == Py_None) {
        py::set_none_text_error();
        return false;
    }
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", "str", Py_TYPE(name)->tp_name);
        return false;
    }
    std::string_view view;
    if (!py::utf8_view(name, view)) return false;
    out.assign(view);
    return true;
}

void get_logger(SpdLogger& out, LoggerOptions* options) {
    std::string name;
    if (!option_name(options, name)) {
        py::add_traceback("zelvar.scrivo.scrivo.get_logger", kSourceFile);
        return;
    }
    // The option record's `flag` is ignored: a missing logger is always created, as the
    // Python-level callers do.
    out.logger = LoggerRegistry::get_logger(name, true);
}

std::shared_ptr<spdlog::logger> get_logger_ptr(LoggerOptions* options) {
    std::shared_ptr<spdlog::logger> result;
    std::string name;
    if (!option_name(options, name)) {
        py::add_traceback("zelvar.scrivo.scrivo.get_logger_ptr", kSourceFile);
        return result;
    }
    return LoggerRegistry::get_logger(name, true);
}

SpdLogger get_logger_by_name(const char* name) {
    SpdLogger result;
    try {
        const std::string key(name);
        result = SpdLogger(LoggerRegistry::find(key));
    } catch (...) {
        py::rethrow_forced_unwind();
        py::set_error_from_current_exception();
        py::add_traceback("zelvar.scrivo.scrivo.get_logger_by_name", kSourceFile);
    }
    return result;
}

}  // namespace

bool add_capi(PyObject* module) {
    py::Ref capi(PyDict_New());
    return capi &&
           py::export_function(capi.get(), "get_logger_by_name", reinterpret_cast<void*>(get_logger_by_name),
                               kGetLoggerByNameSignature) &&
           py::export_function(capi.get(), "get_logger_ptr", reinterpret_cast<void*>(get_logger_ptr),
                               kGetLoggerPtrSignature) &&
           py::export_function(capi.get(), "get_logger", reinterpret_cast<void*>(get_logger), kGetLoggerSignature) &&
           PyModule_AddObjectRef(module, "__pyx_capi__", capi.get()) == 0;
}

}  // namespace zelvar::scrivo
