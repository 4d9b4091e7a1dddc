// What a handler description or colour scheme contributes to a LoggerFactory. Values are read by
// ordinary attribute access, so a Python subclass may supply them through its own properties.
#include <string>
#include <utility>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "handlers.hpp"

namespace zelvar::scrivo {
namespace {

using spdlog::level::level_enum;

// Reads handler attributes in a fixed order; the first failure sticks and later reads are skipped.
class Reader {
  public:
    explicit Reader(PyObject* handler) : handler_(handler) {}

    bool ok() const { return ok_; }

    bool truth(const char* name) {
        py::Ref v = get(name);
        if (!v) return false;
        const int t = py::truth(v.get());
        ok_ = t >= 0;
        return t > 0;
    }

    // attribute.encode(): bytes or bytearray, zero bytes kept.
    std::string text(const char* name) {
        py::Ref v = get(name);
        if (!v) return {};
        return encode(v.get());
    }

    // None where a text is optional: the empty text.
    std::string optional_text(const char* name) {
        py::Ref v = get(name);
        if (!v || v.get() == Py_None) return {};
        return encode(v.get());
    }

  private:
    std::string encode(PyObject* value) {
        py::Ref encoded(PyObject_CallMethod(value, "encode", nullptr));
        if (!encoded) return fail<std::string>();
        if (PyBytes_Check(encoded.get())) {
            return std::string(PyBytes_AS_STRING(encoded.get()),
                               static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
        }
        if (PyByteArray_Check(encoded.get())) {
            return std::string(PyByteArray_AS_STRING(encoded.get()),
                               static_cast<std::size_t>(PyByteArray_GET_SIZE(encoded.get())));
        }
        PyErr_Format(PyExc_TypeError, "expected bytes, %.200s found", Py_TYPE(encoded.get())->tp_name);
        return fail<std::string>();
    }

  public:
    level_enum level(const char* name) {
        py::Ref v = get(name);
        int32_t out = 0;
        if (v && !py::to_level_enum(v.get(), out)) ok_ = false;
        return static_cast<level_enum>(out);
    }

    int32_t int32(const char* name) {
        py::Ref v = get(name);
        int32_t out = 0;
        if (v && !py::to_int32(v.get(), out)) ok_ = false;
        return out;
    }

    // A str is a Unix socket path (port 0); a (host, port) tuple a remote collector.
    std::string address(const char* name, unsigned long& port) {
        py::Ref v = get(name);
        port = 0;
        if (!v) return {};
        if (!PyTuple_Check(v.get())) return encode(v.get());
        if (PyTuple_GET_SIZE(v.get()) != 2) {
            PyErr_SetString(PyExc_ValueError, "address must be a socket path or a (host, port) tuple");
            return fail<std::string>();
        }
        std::size_t p = 0;
        if (!py::to_size_t(PyTuple_GET_ITEM(v.get(), 1), p)) return fail<std::string>();
        port = p;
        return encode(PyTuple_GET_ITEM(v.get(), 0));
    }

    unsigned long size(const char* name) {
        py::Ref v = get(name);
        std::size_t out = 0;
        if (v && !py::to_size_t(v.get(), out)) ok_ = false;
        return out;
    }

  private:
    py::Ref get(const char* name) {
        if (!ok_) return py::Ref();
        py::Ref v(PyObject_GetAttrString(handler_, name));
        ok_ = static_cast<bool>(v);
        return v;
    }

    template <class T>
    T fail() {
        ok_ = false;
        return T{};
    }

    PyObject* handler_;
    bool ok_ = true;
};

bool is(PyObject* o, PyTypeObject& type) { return PyObject_TypeCheck(o, &type); }

}  // namespace

namespace {

// Checks the handler's values as its factory call would, then keeps the call.
template <class Check, class Add>
int prepared(HandlerCall& call, Check&& check, Add&& add) {
    return py::guard([&] {
        check();
        call = std::forward<Add>(add);
        return 0;
    });
}

void no_check() {}

}  // namespace

int prepare_handler(PyObject* handler, HandlerCall& call) {
    Reader r(handler);
    // Most derived kinds first; the first match wins.
    if (is(handler, StdoutHandlerType)) {
        const bool color = r.truth("color");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        const level_enum max_level = r.level("max_level");
        if (!r.ok()) return -1;
        return prepared(call, no_check,
                        [=](LoggerFactory& f) { f.add_stdout_handler(color, pattern, level, max_level); });
    }
    if (is(handler, StderrHandlerType)) {
        const bool color = r.truth("color");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        if (!r.ok()) return -1;
        return prepared(call, no_check, [=](LoggerFactory& f) { f.add_stderr_handler(color, pattern, level); });
    }
    if (is(handler, ConsoleHandlerType)) {
        const bool color = r.truth("color");
        const std::string pattern = r.text("pattern");
        const level_enum max_stdout_level = r.level("max_stdout_level");
        const level_enum min_level = r.level("min_level");
        if (!r.ok()) return -1;
        return prepared(call, no_check,
                        [=](LoggerFactory& f) { f.add_console_handler(color, pattern, max_stdout_level, min_level); });
    }
    if (is(handler, BasicConsoleHandlerType)) {
        const bool color = r.truth("color");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        if (!r.ok()) return -1;
        return prepared(call, no_check, [=](LoggerFactory& f) { f.add_basic_console_handler(color, pattern, level); });
    }
    if (is(handler, SyslogHandlerType)) {
        unsigned long port = 0;
        const std::string address = r.address("address", port);
        const std::string facility = r.text("facility");
        const std::string ident = r.optional_text("ident");
        const std::string protocol = r.text("protocol");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        const std::string format = r.optional_text("format");  // None: by transport
        if (!r.ok()) return -1;
        const unsigned checked_port = port > 65535 ? 65536u : static_cast<unsigned>(port);
        return prepared(
            call,
            [&] { LoggerFactory::check_syslog_handler(address, checked_port, facility, ident, protocol, format); },
            [=](LoggerFactory& f) {
                f.add_syslog_handler(address, checked_port, facility, ident, protocol, pattern, level, format);
            });
    }
    if (is(handler, JsonFileHandlerType)) {
        const std::string filename = r.text("filename");
        const level_enum level = r.level("level");
        const bool overwrite = r.truth("overwrite");
        const unsigned long max_size = r.size("max_size");
        const unsigned long max_files = r.size("max_files");
        if (!r.ok()) return -1;
        return prepared(
            call, [&] { LoggerFactory::check_json_file_handler(filename, max_size, max_files); },
            [=](LoggerFactory& f) { f.add_json_file_handler(filename, level, overwrite, max_size, max_files); });
    }
    if (is(handler, DailyFileHandlerType)) {
        const std::string filename = r.text("filename");
        const int32_t hour = r.int32("hour");
        const int32_t minute = r.int32("minute");
        const unsigned long max_files = r.size("max_files");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        if (!r.ok()) return -1;
        return prepared(
            call, [&] { LoggerFactory::check_daily_file_handler(filename, hour, minute); },
            [=](LoggerFactory& f) { f.add_daily_file_handler(filename, hour, minute, max_files, pattern, level); });
    }
    if (is(handler, RotatingFileHandlerType)) {
        const std::string filename = r.text("filename");
        const unsigned long max_size = r.size("max_size");
        const unsigned long max_files = r.size("max_files");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        if (!r.ok()) return -1;
        return prepared(
            call, [&] { LoggerFactory::check_rotating_file_handler(filename, max_size, max_files); },
            [=](LoggerFactory& f) { f.add_rotating_file_handler(filename, max_size, max_files, pattern, level); });
    }
    if (is(handler, FileHandlerType)) {
        const std::string filename = r.text("filename");
        const std::string pattern = r.text("pattern");
        const level_enum level = r.level("level");
        const bool overwrite = r.truth("overwrite");
        if (!r.ok()) return -1;
        return prepared(
            call, [&] { LoggerFactory::check_file_handler(filename); },
            [=](LoggerFactory& f) { f.add_file_handler(filename, pattern, level, overwrite); });
    }
    PyErr_SetString(PyExc_TypeError, "Unknown handler type");
    return -1;
}

int contribute_colors(PyObject* scheme, LoggerFactory& factory) {
    const auto* s = reinterpret_cast<const ColorSchemeObject*>(scheme);
    return py::guard([&] {
        factory.set_colors(s->trace_color, s->debug_color, s->info_color, s->warn_color, s->error_color,
                           s->critical_color);
        return 0;
    });
}

}  // namespace zelvar::scrivo
