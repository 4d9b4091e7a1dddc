// What a handler description or colour scheme contributes to a LoggerFactory: the factory call of
// the handler's kind, with its arguments read by ordinary attribute access, so a Python subclass may
// supply them through its own properties.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "callback_sink.hpp"
#include "handler_kind.hpp"
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
    level_enum level(const char* name) { return static_cast<level_enum>(converted<int32_t>(name, py::to_level_enum)); }

    int32_t int32(const char* name) {
        return converted<int32_t>(name, [](PyObject* o, int32_t& out) { return py::to_int32(o, out); });
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

    unsigned long size(const char* name) { return converted<std::size_t>(name, py::to_size_t); }

    // The sink that calls the callable the attribute holds (TypeError for anything else).
    std::shared_ptr<spdlog::sinks::sink> callback(const char* name) {
        py::Ref v = get(name);
        std::shared_ptr<spdlog::sinks::sink> sink;
        if (!v) return sink;
        if (!check_callable(v.get(), name) ||
            py::guard([&] { return sink = std::make_shared<CallbackSink>(v.get()), 0; }) < 0)
            ok_ = false;
        return sink;
    }

  private:
    // The attribute through one of py's converters; 0 where it is missing or does not convert.
    template <class T, class Convert>
    T converted(const char* name, Convert convert) {
        py::Ref v = get(name);
        T out = 0;
        if (v && !convert(v.get(), out)) ok_ = false;
        return out;
    }

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

// Reads one factory argument as its parameter's kind says: a text through attribute.encode() (bytes or
// bytearray, zero bytes kept); an address as a str (a Unix socket path, port 0) or a (host, port) tuple,
// a port over 65535 read as 65536; a callable as the sink that calls it, made now.
void read(Reader& r, const ReadArg& arg, ReadValue& out) {
    switch (arg.arg) {
        case Arg::truth:
            out.truth = r.truth(arg.name);
            break;
        case Arg::text:
            out.text = r.text(arg.name);
            break;
        case Arg::optional_text:
            out.text = r.optional_text(arg.name);
            break;
        case Arg::level:
            out.level = r.level(arg.name);
            break;
        case Arg::int32:
        case Arg::bounded:
            out.int32 = r.int32(arg.name);
            break;
        case Arg::size:
            out.size = r.size(arg.name);
            break;
        case Arg::callable:
            out.sink = r.callback(arg.name);
            break;
        case Arg::address: {
            unsigned long port = 0;
            out.text = r.address(arg.name, port);
            out.port = port > 65535 ? 65536u : static_cast<unsigned>(port);
            break;
        }
    }
}

}  // namespace

int prepare_handler(PyObject* handler, HandlerCall& call) {
    for (const HandlerKind* kind : handler_kinds()) {
        if (!kind->add || !PyObject_TypeCheck(handler, kind->type)) continue;
        Reader r(handler);
        std::vector<ReadValue> got(kind->reads.size());
        for (std::size_t i = 0; i < got.size(); ++i) read(r, kind->reads[i], got[i]);
        if (!r.ok()) return -1;
        // The values are checked as the factory call would check them, then the call is kept.
        return py::guard([&] {
            if (kind->check_call) kind->check_call(got.data());
            call = [add = kind->add, got = std::move(got)](LoggerFactory& f) { add(f, got.data()); };
            return 0;
        });
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
