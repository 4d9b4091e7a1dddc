// The record hooks: per-logger filters (a table keyed by the native logger, so bound loggers and the
// default logger made from a Logger with a filter run it too) and the process-wide captures.
#include "record_hooks.hpp"

#include <algorithm>
#include <vector>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/forced_unwind.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "record_dict.hpp"

namespace zelvar::scrivo {

int g_record_hooks = 0;

namespace {

// The filters, by native logger. While its Logger lives the entry names it (the Logger holds the
// filter, where the collector sees it, and the native logger, so the address cannot be reused). A
// Logger freed while its native logger is the process default (DefaultLogger and the standard
// package's records write through it) leaves the filter to the entry, which holds the native
// logger weakly and goes when it stops being the default.
struct FilterUse {
    const spdlog::logger* native;
    LoggerObject* owner;       // null once the Logger is gone
    PyObject* kept = nullptr;  // the filter, once the Logger is gone (a strong reference)
    std::weak_ptr<spdlog::logger> kept_for;
};
std::vector<FilterUse> g_filters;
std::size_t g_kept = 0;  // entries without a Logger

void changed(int by) { g_record_hooks += by; }

bool is_default(const spdlog::logger* native) noexcept {
    try {
        return LoggerRegistry::get_logger("", false).get() == native;
    } catch (...) {
        rethrow_forced_unwind();
        return false;
    }
}

// Drops the entries whose native logger is gone or no longer the default (before any lookup, so no
// address is seen reused).
void prune_filters() {
    while (g_kept) {
        const auto gone = std::find_if(g_filters.begin(), g_filters.end(), [](const FilterUse& u) {
            return !u.owner && (u.kept_for.expired() || !is_default(u.native));
        });
        if (gone == g_filters.end()) return;
        PyObject* filter = gone->kept;
        g_filters.erase(gone);
        --g_kept;
        changed(-1);
        Py_DECREF(filter);  // may run code that changes the table: look again
    }
}

// A new reference to the filter of `native`, or null.
PyObject* filter_of(const spdlog::logger* native) {
    prune_filters();
    for (const FilterUse& use : g_filters)
        if (use.native == native) return Py_XNewRef(use.owner ? use.owner->filter : use.kept);
    return nullptr;
}

// The lists of the active captures, outermost first; each a strong reference.
std::vector<PyObject*> g_captures;

// A record a filter logs while it runs is not filtered again (it is written, and captured).
thread_local bool t_in_filter = false;

// 1 keep, 0 drop; a filter that raises keeps the record.
int ask_filter(PyObject* filter, PyObject* record) {
    t_in_filter = true;
    py::Ref result(PyObject_CallOneArg(filter, record));
    t_in_filter = false;
    const int keep = result ? PyObject_IsTrue(result.get()) : -1;
    if (keep >= 0) return keep;
    py::hand_to_unraisablehook("zelvar.scrivo.scrivo.Logger filter");
    return 1;
}

}  // namespace

int run_record_hooks(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level,
                     const Location& where, std::string_view plain, std::string_view fields) {
    // Held: building the dict may run the collector, which may free the filter's Logger.
    py::Ref filter(g_filters.empty() || t_in_filter ? nullptr : filter_of(logger.get()));
    if (!filter && g_captures.empty()) return 1;
    py::Ref record(make_record_dict({logger->name(), level, plain, where.file, where.line, where.function, fields,
                                     where.file_text.get(), where.function_text.get()}));
    if (!record) return -1;
    if (filter && ask_filter(filter.get(), record.get()) == 0) return 0;
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
    if (py::guard([&] { return g_filters.push_back({self->logger_ptr.get(), self, nullptr, {}}), 0; }) < 0)
        return false;
    self->filter = Py_NewRef(filter);
    changed(1);
    return true;
}

void clear_logger_filter(LoggerObject* self, bool freed) {
    if (!self->filter) return;
    const auto use =
        std::find_if(g_filters.begin(), g_filters.end(), [&](const FilterUse& u) { return u.owner == self; });
    if (freed && use != g_filters.end() && self->logger_ptr && is_default(self->logger_ptr.get())) {
        use->owner = nullptr;
        ++g_kept;
        use->kept = self->filter;
        use->kept_for = self->logger_ptr;
        self->filter = nullptr;
        return;
    }
    if (use != g_filters.end()) {
        g_filters.erase(use);
        changed(-1);
    }
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
