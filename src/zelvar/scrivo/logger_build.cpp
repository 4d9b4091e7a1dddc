// Logger's construction: its arguments and every handler checked (all before any sink exists, so a
// failing check creates or truncates no file), the handlers' sinks gathered, the native logger
// built (only then are files emptied or pruned); its release and its read-only properties.
#include "logger_build.hpp"

#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/fields.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "default_target.hpp"
#include "emission.hpp"
#include "handlers.hpp"
#include "module_state.hpp"
#include "record_hooks.hpp"
#include "stacklevel.hpp"
#include "stdlib_bridge.hpp"

namespace zelvar::scrivo {
namespace {

// The UTF-8 form of a text parameter, or the None-text error.
bool encode_text(PyObject* text, std::string& out) {
    if (text == Py_None) {
        py::set_none_text_error();
        return false;
    }
    std::string_view view;
    if (!py::utf8_view(text, view)) return false;
    out.assign(view);
    return true;
}

using Overflow = libscrivo::AsyncLogger::Overflow;

// queue_size (0: synchronous) and overflow, read before any sink exists.
bool queue_options(PyObject* size, PyObject* overflow, std::size_t& queue_size, Overflow& mode) {
    constexpr std::size_t kMax = libscrivo::AsyncLogger::kMaxQueueSize;
    queue_size = 0;
    mode = Overflow::block;
    if (size) {
        long long n = 0;
        if (!py::to_int64(size, n)) {
            if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
            PyErr_Clear();
            n = -1;
        }
        if (n < 0 || static_cast<unsigned long long>(n) > kMax) {
            PyErr_Format(PyExc_ValueError, "queue_size must be between 0 and %zu, not %R", kMax, size);
            return false;
        }
        queue_size = static_cast<std::size_t>(n);
    }
    if (!overflow) return true;
    if (PyUnicode_Check(overflow) && PyUnicode_CompareWithASCIIString(overflow, "block") == 0) return true;
    if (PyUnicode_Check(overflow) && PyUnicode_CompareWithASCIIString(overflow, "drop_oldest") == 0) {
        mode = Overflow::drop_oldest;
        return true;
    }
    if (!PyErr_Occurred())
        PyErr_Format(PyExc_ValueError, "overflow must be 'block' or 'drop_oldest', not %R", overflow);
    return false;
}

// flush_interval: a finite number of seconds >= 0 (0, written through, when not given).
bool flush_interval_option(PyObject* value, std::chrono::nanoseconds& interval) {
    interval = std::chrono::nanoseconds::zero();
    if (!value) return true;
    if (!PyFloat_Check(value) && !PyLong_Check(value)) return py::raise_argument_type(value, "flush_interval", "float");
    const double seconds = PyFloat_Check(value) ? PyFloat_AS_DOUBLE(value) : PyLong_AsDouble(value);
    if (seconds == -1.0 && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
        PyErr_Clear();
    }
    constexpr double kMaxSeconds = 1e9;  // about 30 years, well inside the nanosecond clock
    if (!(seconds >= 0.0 && seconds <= kMaxSeconds)) {
        PyErr_Format(PyExc_ValueError, "flush_interval must be a finite number of seconds >= 0, not %R", value);
        return false;
    }
    // Up, so that a positive interval never becomes zero (written through) on the way.
    interval = std::chrono::nanoseconds(static_cast<long long>(std::ceil(seconds * 1e9)));
    return true;
}

// The one console sink of a logger built without handlers: nobody described it, so it follows the
// logger's level when the level setter changes it (described sinks keep their own). Held weakly,
// keyed by the native logger so DefaultLogger's setter finds it too; used with the interpreter lock.
struct ImplicitSink {
    std::weak_ptr<spdlog::logger> logger;
    std::weak_ptr<spdlog::sinks::sink> sink;
};
std::vector<ImplicitSink> g_implicit_sinks;

void remember_implicit_sink(const std::shared_ptr<spdlog::logger>& logger) {
    std::erase_if(g_implicit_sinks, [](const ImplicitSink& s) { return s.logger.expired(); });
    g_implicit_sinks.push_back({logger, logger->sinks().front()});
}

std::shared_ptr<spdlog::sinks::sink> implicit_sink(const spdlog::logger& logger) {
    for (const ImplicitSink& s : g_implicit_sinks)
        if (s.logger.lock().get() == &logger) return s.sink.lock();
    return nullptr;
}

}  // namespace

bool build_logger(LoggerObject* self, PyObject* const* v) {
    PyObject* name = v[0];
    int32_t level = 0;
    if (v[1] && !py::to_level(v[1], level)) return false;
    PyObject* pattern = v[2];
    PyObject* handlers = v[3] ? v[3] : state().default_handlers;
    PyObject* scheme = v[4] ? v[4] : Py_None;
    const int set_default = v[5] ? py::truth(v[5]) : 0;
    if (set_default < 0) return false;
    const int intercept = v[6] ? py::truth(v[6]) : 1;
    if (intercept < 0) return false;
    if (!py::check_str_argument(name, "name")) return false;
    if (pattern && !py::check_str_argument(pattern, "pattern")) return false;
    if (handlers != Py_None && !PyList_CheckExact(handlers))
        return py::raise_argument_type(handlers, "handlers", "list");
    if (scheme != Py_None && !PyObject_TypeCheck(scheme, &ColorSchemeType))
        return py::raise_argument_type(scheme, "color_scheme", ColorSchemeType.tp_name);
    std::size_t queue_size;
    Overflow overflow;
    if (!queue_options(v[7], v[8], queue_size, overflow)) return false;
    std::chrono::nanoseconds flush_interval;
    if (!flush_interval_option(v[9], flush_interval)) return false;
    int32_t stacklevel = 0;
    if (v[10] && !to_stacklevel(v[10], stacklevel)) return false;
    if (v[11] && v[11] != Py_None && !PyCallable_Check(v[11]))
        return py::raise_argument_type(v[11], "filter", "callable");
    std::string name_text;
    if (!encode_text(name, name_text)) return false;

    if (py::guard([&] { return self->factory.set_level(static_cast<spdlog::level::level_enum>(level)), 0; }) < 0)
        return false;
    const bool implicit = handlers == Py_None || PyList_GET_SIZE(handlers) == 0;
    if (implicit) {
        std::string pattern_text;
        if (!encode_text(pattern ? pattern : state().default_logger_pattern, pattern_text)) return false;
        if (py::guard([&] {
                self->factory.add_basic_console_handler(true, pattern_text,
                                                        static_cast<spdlog::level::level_enum>(level));
                return 0;
            }) < 0)
            return false;
    }
    // Every handler is read and checked, then the colours and the name (in the order their errors
    // have always come), before the first handler opens a file: a failing call touches no file.
    std::vector<HandlerCall> calls;
    // Re-read the length each time: handlers appended during the walk are visited too.
    for (Py_ssize_t i = 0; handlers != Py_None && i < PyList_GET_SIZE(handlers); ++i) {
        py::Ref handler = py::Ref::borrow(PyList_GET_ITEM(handlers, i));
        HandlerCall call;
        if (prepare_handler(handler.get(), call) < 0) return false;
        if (py::guard([&] { return calls.push_back(std::move(call)), 0; }) < 0) return false;
    }
    if (scheme != Py_None && contribute_colors(scheme, self->factory) < 0) return false;
    if (py::guard([&] { return LoggerFactory::check_name(name_text, false), 0; }) < 0) return false;
    if (py::guard([&] {
            for (const HandlerCall& call : calls) call(self->factory);
            return 0;
        }) < 0)
        return false;
    // Without the interpreter lock: a logger this one replaces (by name, or as the default) may end
    // here, and its writer may be waiting for the lock to run a CallbackHandler's callable.
    const auto unlocked = [&](auto&& step) {
        std::exception_ptr error;
        Py_BEGIN_ALLOW_THREADS try { step(); } catch (...) {
            py::rethrow_forced_unwind();
            error = std::current_exception();
        }
        Py_END_ALLOW_THREADS;
        return !error || py::guard([&] { return std::rethrow_exception(error), 0; }) == 0;
    };
    if (!unlocked([&] {
            self->logger_ptr = queue_size ? self->factory.build(name_text, false, queue_size, overflow)
                                          : self->factory.build(name_text, false);
            libscrivo::set_file_flush_interval(*self->logger_ptr, flush_interval);
        }))
        return false;
    // The depth and the filter are in place before the logger can become the default and other threads write through
    // it.
    if (stacklevel && py::guard([&] { return set_stacklevel(self->logger_ptr, stacklevel), 0; }) < 0) return false;
    if (v[11] && !set_logger_filter(self, v[11])) return false;
    if (set_default && !unlocked([&] { LoggerRegistry::set_default(self->logger_ptr); })) return false;
    if (implicit && py::guard([&] { return remember_implicit_sink(self->logger_ptr), 0; }) < 0) return false;
    self->logger = SpdLogger(self->logger_ptr);
    return !(set_default && intercept) || redirect_pylog() == 0;
}

int logger_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<LoggerObject*>(self)->filter);
    return 0;
}

int logger_clear(PyObject* self) {
    clear_logger_filter(reinterpret_cast<LoggerObject*>(self), false);
    return 0;
}

void logger_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    clear_logger_filter(reinterpret_cast<LoggerObject*>(self), true);
    auto* lg = reinterpret_cast<LoggerObject*>(self);
    std::shared_ptr<spdlog::logger> native = lg->logger_ptr;
    lg->factory.~LoggerFactory();
    lg->logger.~SpdLogger();
    lg->logger_ptr.~shared_ptr();
    py::free_object(self);
    libscrivo::AsyncLogger* queue = as_async(native.get());
    if (!queue) return;
    drop_stale_default();
    // A non-blocking logger nobody else uses (not the default, no native module's reference) leaves
    // the registry and ends here: its writer drains and ends, its files close. One that lives on
    // still has what this object logged written now.
    try {
        LoggerRegistry::release(native);
    } catch (...) {
        py::rethrow_forced_unwind();  // then still registered: it lives on
    }
    // The writer needs no interpreter lock. During finalisation (a sub-interpreter's objects freed
    // at exit) a thread that takes the lock back is ended, so it is kept then.
#if PY_VERSION_HEX >= 0x030D0000
    const bool finalizing = Py_IsFinalizing();
#else
    const bool finalizing = _Py_IsFinalizing();
#endif
    PyThreadState* saved = finalizing ? nullptr : PyEval_SaveThread();
    if (native.use_count() > 1) queue->flush();
    native.reset();
    if (saved) PyEval_RestoreThread(saved);
}

namespace {

PyObject* logger_name(PyObject* self, void*) {
    const auto& logger = reinterpret_cast<LoggerObject*>(self)->logger_ptr;
    if (!logger) Py_RETURN_NONE;
    return PyUnicode_DecodeUTF8(logger->name().data(), static_cast<Py_ssize_t>(logger->name().size()), "replace");
}

PyObject* logger_level(PyObject* self, void*) {
    return native_level(reinterpret_cast<LoggerObject*>(self)->logger_ptr);
}

int set_logger_level(PyObject* self, PyObject* value, void*) {
    return set_native_level(reinterpret_cast<LoggerObject*>(self)->logger_ptr, value);
}

PyObject* logger_stacklevel(PyObject* self, void*) {
    const int32_t depth = stacklevel_of(reinterpret_cast<LoggerObject*>(self)->logger_ptr);
    if (!depth) Py_RETURN_NONE;
    return PyLong_FromLong(depth);
}

PyObject* logger_filter(PyObject* self, void*) {
    PyObject* filter = reinterpret_cast<LoggerObject*>(self)->filter;
    return Py_NewRef(filter ? filter : Py_None);
}

PyObject* logger_dropped(PyObject* self, void*) {
    const libscrivo::AsyncLogger* queue = as_async(reinterpret_cast<LoggerObject*>(self)->logger_ptr.get());
    return PyLong_FromUnsignedLongLong(queue ? queue->dropped() : 0);
}

}  // namespace

PyObject* native_level(const std::shared_ptr<spdlog::logger>& logger) {
    if (!logger) {
        PyErr_SetString(PyExc_RuntimeError, "no native logger");
        return nullptr;
    }
    // A level outside 0..6 that the constructor took reads back as the number it is.
    const auto level = static_cast<int32_t>(logger->level());
    return level >= 0 && level <= spdlog::level::off ? level_to_python(level) : PyLong_FromLong(level);
}

int set_native_level(const std::shared_ptr<spdlog::logger>& logger, PyObject* value) {
    if (!value) return py::field::no_delete();
    int32_t level;
    if (!py::to_level_value(value, level)) return -1;
    if (!logger) {
        PyErr_SetString(PyExc_RuntimeError, "no native logger");
        return -1;
    }
    // spdlog's levels are atomic and read by every call (there is no cached copy): the next record
    // on any thread, and a non-blocking logger's callers, see the new one.
    if (const auto sink = implicit_sink(*logger)) sink->set_level(static_cast<spdlog::level::level_enum>(level));
    logger->set_level(static_cast<spdlog::level::level_enum>(level));
    return 0;
}

PyGetSetDef g_logger_properties[] = {
    {"name", logger_name, nullptr, "The logger's name.", nullptr},
    {"level", logger_level, set_logger_level,
     "The logger's own level (a Level; a number outside 0..6 the constructor took reads back as an int); setting "
     "it takes a Level, 0 to 6 or a level name and applies to the next record on any thread. The handlers' levels "
     "are unchanged; the console sink of a logger built without handlers follows.",
     nullptr},
    {"dropped", logger_dropped, nullptr,
     "Records a non-blocking logger with overflow='drop_oldest' has lost so far (0 for the others).", nullptr},
    {"stacklevel", logger_stacklevel, nullptr,
     "How many frames above a logging call its location is taken from (1: the function that made the call), "
     "or None for the default rule (the nearest non-module-level caller of the function that logged).",
     nullptr},
    {"filter", logger_filter, nullptr,
     "The callable given as `filter` (None without one): it gets each record's dict before any sink and drops the "
     "record when it returns a false value.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace zelvar::scrivo
