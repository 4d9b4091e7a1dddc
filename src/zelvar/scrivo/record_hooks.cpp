// The record hooks: per-logger filters (a table keyed by the native logger, so bound loggers and the
// default logger made from a Logger with a filter run it too) and the process-wide captures.
#include "record_hooks.hpp"

#include <algorithm>
#include <vector>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "module_state.hpp"
#include "record_dict.hpp"

namespace zelvar::scrivo {

int g_record_hooks = 0;

namespace {

// The Loggers with a filter, by native logger. The Logger holds the filter (its collector support
// sees it) and the native logger, so an entry's address cannot be reused while the entry exists.
struct FilterUse {
    const spdlog::logger* native;
    LoggerObject* owner;
};
std::vector<FilterUse> g_filters;

// The lists of the active captures, outermost first; each a strong reference.
std::vector<PyObject*> g_captures;

// A record a filter logs while it runs is not filtered again (it is written, and captured).
thread_local bool t_in_filter = false;

PyObject* filter_of(const spdlog::logger* native) {
    for (const FilterUse& use : g_filters)
        if (use.native == native) return use.owner->filter;
    return nullptr;
}

// 1 keep, 0 drop; a filter that raises keeps the record.
int ask_filter(PyObject* filter, PyObject* record) {
    py::Ref held = py::Ref::borrow(filter);  // the filter may drop its Logger
    t_in_filter = true;
    py::Ref result(PyObject_CallOneArg(held.get(), record));
    t_in_filter = false;
    const int keep = result ? PyObject_IsTrue(result.get()) : -1;
    if (keep >= 0) return keep;
    py::Ref context(PyUnicode_FromString("zelvar.scrivo.scrivo.Logger filter"));
    PyErr_WriteUnraisable(context ? context.get() : Py_None);
    return 1;
}

void changed(int by) { g_record_hooks += by; }

}  // namespace

int run_record_hooks(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level,
                     const Location& where, std::string_view plain, std::string_view fields) {
    PyObject* filter = g_filters.empty() || t_in_filter ? nullptr : filter_of(logger.get());
    if (!filter && g_captures.empty()) return 1;
    py::Ref record(make_record_dict({logger->name(), level, plain, where.file, where.line, where.function, fields,
                                     where.file_text.get(), where.function_text.get()}));
    if (!record) return -1;
    if (filter && ask_filter(filter, record.get()) == 0) return 0;
    // By index: no Python code runs in an append, but the list is read afresh each time all the same.
    for (std::size_t i = 0; i < g_captures.size(); ++i)
        if (PyList_Append(g_captures[i], record.get()) < 0) return -1;
    return 1;
}

bool set_logger_filter(LoggerObject* self, PyObject* filter) {
    if (!filter || filter == Py_None) return true;
    if (!PyCallable_Check(filter)) {
        PyErr_Format(PyExc_TypeError, "filter must be callable, not %.200s", Py_TYPE(filter)->tp_name);
        return false;
    }
    if (py::guard([&] { return g_filters.push_back({self->logger_ptr.get(), self}), 0; }) < 0) return false;
    self->filter = Py_NewRef(filter);
    changed(1);
    return true;
}

void clear_logger_filter(LoggerObject* self) {
    if (!self->filter) return;
    std::erase_if(g_filters, [&](const FilterUse& use) { return use.owner == self; });
    changed(-1);
    Py_CLEAR(self->filter);
}

namespace {

PyObject* capture_start(PyObject*, PyObject* list) {
    if (!PyList_Check(list)) return py::raise_argument_type(list, "records", "list"), nullptr;
    if (py::guard([&] { return g_captures.push_back(Py_NewRef(list)), 0; }) < 0) {
        Py_DECREF(list);
        return nullptr;
    }
    changed(1);
    Py_RETURN_NONE;
}

PyObject* capture_stop(PyObject*, PyObject* list) {
    const auto found = std::find(g_captures.rbegin(), g_captures.rend(), list);
    if (found == g_captures.rend()) {
        PyErr_SetString(PyExc_ValueError, "no such capture");
        return nullptr;
    }
    g_captures.erase(std::next(found).base());
    changed(-1);
    Py_DECREF(list);
    Py_RETURN_NONE;
}

}  // namespace

bool add_capture_functions(PyObject* module) {
    static PyMethodDef defs[] = {
        {"_capture_start", capture_start, METH_O, "_capture_start(records, /): append each record's dict to records."},
        {"_capture_stop", capture_stop, METH_O, "_capture_stop(records, /): end the capture of records."},
        {nullptr, nullptr, 0, nullptr},
    };
    return PyModule_AddFunctions(module, defs) == 0;
}

}  // namespace zelvar::scrivo
