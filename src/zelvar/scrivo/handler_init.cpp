// The handler descriptions' and the color scheme's __init__: each binds its arguments with the one
// binder, checks them with the shared conversions and hands the base's part to the base's __init__.
#include "handler_init.hpp"

#include <cstddef>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "handlers.hpp"
#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

PyObject* default_pattern() { return state().default_handler_pattern; }

bool take_color(PyObject* value, int fallback, bool& out) {
    if (!value) {
        out = fallback != 0;
        return true;
    }
    const int t = py::truth(value);
    if (t < 0) return false;
    out = t != 0;
    return true;
}

bool take_level(PyObject* value, int32_t fallback, int32_t& out) {
    if (!value) {
        out = fallback;
        return true;
    }
    return py::to_level(value, out);
}

bool take_size(PyObject* value, std::size_t fallback, std::size_t& out) {
    if (!value) {
        out = fallback;
        return true;
    }
    return py::to_size_t(value, out);
}

// Calls the initialiser after `own` in the instance's method resolution order.
bool init_next(PyTypeObject* own, PyObject* self, PyObject* args) {
    if (!args) return false;
    py::Ref super(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PySuper_Type), own, self, nullptr));
    py::Ref init(super ? PyObject_GetAttrString(super.get(), "__init__") : nullptr);
    py::Ref result(init ? PyObject_Call(init.get(), args, nullptr) : nullptr);
    return static_cast<bool>(result);
}

// (filename, False, pattern, level member, overwrite): what a file handler subclass passes on to
// FileHandler.__init__.
PyObject* file_arguments(PyObject* filename, PyObject* pattern, int32_t level, bool overwrite) {
    py::Ref member(level_to_python(level));
    if (!member) return nullptr;
    return Py_BuildValue("(OOOOO)", filename, Py_False, pattern, member.get(), overwrite ? Py_True : Py_False);
}

// (color, pattern, level member), the base part every console handler passes on.
PyObject* base_arguments(bool color, PyObject* pattern, int32_t level) {
    py::Ref member(level_to_python(level));
    if (!member) return nullptr;
    return Py_BuildValue("(OOO)", color ? Py_True : Py_False, pattern, member.get());
}

void store_text(PyObject*& slot, PyObject* value) {
    PyObject* old = slot;
    slot = Py_NewRef(value);
    Py_XDECREF(old);
}

bool take_bounded(PyObject* value, const char* name, int32_t high, int32_t& out) {
    out = 0;
    if (value && !py::to_int32(value, out)) return false;
    if (out < 0 || out > high) {
        PyErr_Format(PyExc_ValueError, "%s must be in 0..%d, got %d", name, static_cast<int>(high),
                     static_cast<int>(out));
        return false;
    }
    return true;
}

}  // namespace

// A syslog address: a str (Unix socket path), an exact (str host, int port) tuple, or None.
bool check_address(PyObject* v) {
    if (v == Py_None || PyUnicode_CheckExact(v)) return true;
    if (PyTuple_CheckExact(v) && PyTuple_GET_SIZE(v) == 2 && PyUnicode_CheckExact(PyTuple_GET_ITEM(v, 0)) &&
        PyLong_Check(PyTuple_GET_ITEM(v, 1)))
        return true;
    PyErr_Format(PyExc_TypeError, "address must be a str or a (str, int) tuple, not %.200s", Py_TYPE(v)->tp_name);
    return false;
}

int log_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"color", "pattern", "level"});
    decltype(params)::Values v;
    bool color;
    int32_t level;
    if (!params.bind(args, kwargs, v) || !take_color(v[0], 1, color) || !take_level(v[2], 0, level)) return -1;
    PyObject* pattern = v[1] ? v[1] : default_pattern();
    if (!py::check_str_argument(pattern, "pattern")) return -1;
    auto* h = reinterpret_cast<LogHandlerObject*>(self);
    h->color = color;
    store_text(h->pattern, pattern);
    h->level = level;
    return 0;
}

namespace {

// StderrHandler and BasicConsoleHandler: (color=False, pattern, level=<default>).
int plain_console_init(PyTypeObject* own, int32_t default_level, PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"color", "pattern", "level"});
    decltype(params)::Values v;
    bool color;
    int32_t level;
    if (!params.bind(args, kwargs, v) || !take_color(v[0], 0, color) || !take_level(v[2], default_level, level))
        return -1;
    PyObject* pattern = v[1] ? v[1] : default_pattern();
    if (!py::check_str_argument(pattern, "pattern")) return -1;
    return init_next(own, self, py::Ref(base_arguments(color, pattern, level)).get()) ? 0 : -1;
}

}  // namespace

int stderr_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    return plain_console_init(&StderrHandlerType, 3, self, args, kwargs);
}

int basic_console_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    return plain_console_init(&BasicConsoleHandlerType, 0, self, args, kwargs);
}

int stdout_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"color", "pattern", "level", "max_level"});
    decltype(params)::Values v;
    bool color;
    int32_t level, max_level;
    if (!params.bind(args, kwargs, v) || !take_color(v[0], 0, color) || !take_level(v[2], 0, level) ||
        !take_level(v[3], 2, max_level))
        return -1;
    PyObject* pattern = v[1] ? v[1] : default_pattern();
    if (!py::check_str_argument(pattern, "pattern")) return -1;
    if (!init_next(&StdoutHandlerType, self, py::Ref(base_arguments(color, pattern, level)).get())) return -1;
    reinterpret_cast<StdoutHandlerObject*>(self)->max_level = max_level;
    return 0;
}

int console_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"color", "pattern", "max_stdout_level", "min_level"});
    decltype(params)::Values v;
    bool color;
    int32_t max_stdout_level, min_level;
    if (!params.bind(args, kwargs, v) || !take_color(v[0], 1, color) || !take_level(v[2], 2, max_stdout_level) ||
        !take_level(v[3], 0, min_level))
        return -1;
    PyObject* pattern = v[1] ? v[1] : default_pattern();
    if (!py::check_str_argument(pattern, "pattern")) return -1;
    if (!init_next(&ConsoleHandlerType, self, py::Ref(base_arguments(color, pattern, 0)).get())) return -1;
    auto* h = reinterpret_cast<ConsoleHandlerObject*>(self);
    h->max_stdout_level = max_stdout_level;
    h->min_level = min_level;
    return 0;
}

int file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"filename", "color", "pattern", "level", "overwrite"}, 1);
    decltype(params)::Values v;
    bool color, overwrite;
    int32_t level;
    if (!params.bind(args, kwargs, v) || !take_color(v[1], 0, color) || !take_level(v[3], 0, level) ||
        !take_color(v[4], 0, overwrite))
        return -1;
    PyObject* filename = v[0];
    PyObject* pattern = v[2] ? v[2] : default_pattern();
    if (!py::check_str_argument(filename, "filename") || !py::check_str_argument(pattern, "pattern")) return -1;
    if (!init_next(&FileHandlerType, self, py::Ref(base_arguments(color, pattern, level)).get())) return -1;
    auto* h = reinterpret_cast<FileHandlerObject*>(self);
    store_text(h->filename, filename);
    h->overwrite = overwrite;
    return 0;
}

int rotating_file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"filename", "pattern", "level", "max_size", "max_files"}, 1);
    decltype(params)::Values v;
    int32_t level;
    std::size_t max_size, max_files;
    if (!params.bind(args, kwargs, v) || !take_level(v[2], 0, level) || !take_size(v[3], 1048576, max_size) ||
        !take_size(v[4], 3, max_files))
        return -1;
    PyObject* filename = v[0];
    PyObject* pattern = v[1] ? v[1] : default_pattern();
    if (!py::check_str_argument(filename, "filename") || !py::check_str_argument(pattern, "pattern")) return -1;
    if (!init_next(&RotatingFileHandlerType, self, py::Ref(file_arguments(filename, pattern, level, false)).get()))
        return -1;
    auto* h = reinterpret_cast<RotatingFileHandlerObject*>(self);
    h->max_size = max_size;
    h->max_files = max_files;
    return 0;
}

int json_file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"filename", "level", "overwrite", "max_size", "max_files"}, 1);
    decltype(params)::Values v;
    int32_t level;
    bool overwrite;
    std::size_t max_size, max_files;
    if (!params.bind(args, kwargs, v) || !take_level(v[1], 0, level) || !take_color(v[2], 0, overwrite) ||
        !take_size(v[3], 0, max_size) || !take_size(v[4], 0, max_files))
        return -1;
    PyObject* filename = v[0];
    if (!py::check_str_argument(filename, "filename")) return -1;
    // No pattern: the sink writes JSON whatever a pattern would say.
    if (!init_next(&JsonFileHandlerType, self, py::Ref(file_arguments(filename, Py_None, level, overwrite)).get()))
        return -1;
    auto* h = reinterpret_cast<JsonFileHandlerObject*>(self);
    h->max_size = max_size;
    h->max_files = max_files;
    return 0;
}

int daily_file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params =
        py::params("__init__", {"filename", "hour", "minute", "max_files", "pattern", "level"}, 1);
    decltype(params)::Values v;
    int32_t hour, minute, level;
    std::size_t max_files;
    if (!params.bind(args, kwargs, v) || !take_bounded(v[1], "hour", 23, hour) ||
        !take_bounded(v[2], "minute", 59, minute) || !take_size(v[3], 0, max_files) || !take_level(v[5], 0, level))
        return -1;
    PyObject* filename = v[0];
    PyObject* pattern = v[4] ? v[4] : default_pattern();
    if (!py::check_str_argument(filename, "filename") || !py::check_str_argument(pattern, "pattern")) return -1;
    if (!init_next(&DailyFileHandlerType, self, py::Ref(file_arguments(filename, pattern, level, false)).get()))
        return -1;
    auto* h = reinterpret_cast<DailyFileHandlerObject*>(self);
    h->hour = hour;
    h->minute = minute;
    h->max_files = max_files;
    return 0;
}

int syslog_handler_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params =
        py::params("__init__", {"address", "facility", "ident", "protocol", "pattern", "level", "format"}, 0, 6);
    decltype(params)::Values v;
    int32_t level;
    if (!params.bind(args, kwargs, v) || !take_level(v[5], 0, level)) return -1;
    py::Ref default_address(v[0] ? nullptr : PyUnicode_FromString("/dev/log"));
    py::Ref default_facility(v[1] ? nullptr : PyUnicode_FromString("user"));
    py::Ref default_protocol(v[3] ? nullptr : PyUnicode_FromString("udp"));
    py::Ref default_pattern(v[4] ? nullptr : PyUnicode_FromString("%v"));
    PyObject* address = v[0] ? v[0] : default_address.get();
    PyObject* facility = v[1] ? v[1] : default_facility.get();
    PyObject* ident = v[2] ? v[2] : Py_None;
    PyObject* protocol = v[3] ? v[3] : default_protocol.get();
    PyObject* pattern = v[4] ? v[4] : default_pattern.get();
    PyObject* format = v[6] ? v[6] : Py_None;  // None: by transport
    if (!address || !facility || !protocol || !pattern) return -1;
    if (!check_address(address) || !py::check_str_argument(facility, "facility") ||
        !py::check_str_argument(ident, "ident") || !py::check_str_argument(protocol, "protocol") ||
        !py::check_str_argument(pattern, "pattern") || !py::check_str_argument(format, "format"))
        return -1;
    // The names are checked where the sink checks them, with the same messages.
    if (facility != Py_None && protocol != Py_None) {
        const char* f = PyUnicode_AsUTF8(facility);
        const char* p = f ? PyUnicode_AsUTF8(protocol) : nullptr;
        if (!p || py::guard([&] { return libscrivo::SyslogSink::check_names(f, p), 0; }) < 0) return -1;
    }
    if (format != Py_None) {
        const char* name = PyUnicode_AsUTF8(format);
        if (!name || py::guard([&] { return libscrivo::SyslogSink::check_format(name), 0; }) < 0) return -1;
    }
    if (!init_next(&SyslogHandlerType, self, py::Ref(base_arguments(false, pattern, level)).get())) return -1;
    auto* h = reinterpret_cast<SyslogHandlerObject*>(self);
    store_text(h->address, address);
    store_text(h->facility, facility);
    store_text(h->ident, ident);
    store_text(h->protocol, protocol);
    store_text(h->format, format);
    return 0;
}

int color_scheme_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params(
        "__init__", {"trace_color", "debug_color", "info_color", "warn_color", "error_color", "critical_color"});
    decltype(params)::Values v;
    if (!params.bind(args, kwargs, v)) return -1;
    int32_t codes[6];
    for (std::size_t i = 0; i < 6; ++i) {
        codes[i] = -1;
        if (v[i] && !py::to_int32(v[i], codes[i])) return -1;
    }
    auto* s = reinterpret_cast<ColorSchemeObject*>(self);
    s->trace_color = codes[0];
    s->debug_color = codes[1];
    s->info_color = codes[2];
    s->warn_color = codes[3];
    s->error_color = codes[4];
    s->critical_color = codes[5];
    return 0;
}

}  // namespace zelvar::scrivo
