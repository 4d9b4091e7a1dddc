// One message from a logging call to the sinks: its colour wrapping, the hand-off to a synchronous
// or a non-blocking logger, and the report of a sink that failed.
#include "emission.hpp"

#include <cstring>
#include <typeinfo>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "module_state.hpp"
#include "record_fields.hpp"
#include "stdlib_bridge.hpp"

namespace zelvar::scrivo {
namespace {

void append_code(std::string& codes, const char* prefix, int32_t value) {
    if (!codes.empty()) codes += ';';
    codes += prefix;
    codes += std::to_string(value);
}

}  // namespace

std::string color_wrap(std::string_view text, int32_t fg, int32_t bg, int32_t effect) {
    std::string codes;
    if ((effect >= 1 && effect <= 7) || effect == 9) append_code(codes, "", effect);
    if (fg >= 0 && fg <= 255) append_code(codes, libscrivo::foreground_prefix(fg), fg);
    if (bg >= 0 && bg <= 255) append_code(codes, libscrivo::background_prefix(bg), bg);
    if (codes.empty()) return codes;
    std::string out;
    out.reserve(text.size() + codes.size() + 7);
    out += "\033[";
    out += codes;
    out += 'm';
    out += text;
    out += "\033[0m";
    return out;
}

libscrivo::AsyncLogger* as_async(spdlog::logger* logger) {
    // The class is final: comparing the dynamic type is enough, and cheaper than a dynamic_cast.
    return logger && typeid(*logger) == typeid(libscrivo::AsyncLogger) ? static_cast<libscrivo::AsyncLogger*>(logger)
                                                                       : nullptr;
}

bool emit(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level, const Location& where,
          std::string_view plain, std::string_view colored, SinkFailure& failure, std::string_view fields) {
    const spdlog::source_loc loc{where.file, where.line, where.function};
    libscrivo::AsyncLogger* queue = as_async(logger.get());
    if (!queue) {
        if (fields.empty()) {
            failure = libscrivo::write_to_sinks(*logger, level, loc, plain, colored);
        } else {
            const libscrivo::CurrentFields current(fields);
            failure = libscrivo::write_to_sinks(*logger, level, loc, plain, colored);
        }
        return true;
    }
    return py::guard([&] {
               if (queue->post(level, loc, plain, colored, false, fields)) return 0;
               // Full, and records wait for room: other Python threads may run meanwhile, and may
               // replace the logger `logger` refers to (every text handed over is kept alive by the
               // caller).
               const std::shared_ptr<spdlog::logger> pinned = logger;
               PyThreadState* saved = PyEval_SaveThread();
               try {
                   queue->post(level, loc, plain, colored, true, fields);
               } catch (...) {
                   py::rethrow_forced_unwind();
                   PyEval_RestoreThread(saved);
                   throw;
               }
               PyEval_RestoreThread(saved);
               return 0;
           }) == 0;
}

void set_sink_error(const SinkFailure& failure) noexcept {
    try {
        std::rethrow_exception(failure.error);
    } catch (...) {
        py::rethrow_forced_unwind();
        py::set_error_from_current_exception();
    }
}

namespace {

// emit() with the current log_context's fields and `bound`: kept out of the plain call's path.
[[gnu::noinline]] bool emit_with_fields(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level,
                                        const Location& where, std::string_view plain, std::string_view colored,
                                        SinkFailure& failure, std::string_view bound) {
    RecordFields fields;
    return fields.gather(bound) && emit(logger, level, where, plain, colored, failure, fields.block());
}

void report_sink_failure(const SinkFailure& failure, const char* cls, const char* method) {
    if (!libscrivo::due_for_report(failure.sink)) return;
    set_sink_error(failure);
    py::Ref context(PyUnicode_FromFormat("%s.%s.%s", kModuleName, cls, method));
    PyErr_WriteUnraisable(context ? context.get() : Py_None);
}

}  // namespace

int log_text(const std::shared_ptr<spdlog::logger>& logger, int32_t level, PyObject* msg, int32_t fg, int32_t bg,
             int32_t effect, const char* cls, const char* method, std::string_view bound, bool with_fields) {
    if (msg == Py_None) {
        py::set_none_text_error();
        return -1;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(msg, &size);
    if (!data) return -1;
    if (!logger) {
        PyErr_SetString(PyExc_RuntimeError, "no native logger");
        return -1;
    }
    const auto lvl = static_cast<spdlog::level::level_enum>(level);
    if (lvl >= spdlog::level::off || !logger->should_log(lvl)) return 0;  // a record at OFF is never written
    const std::string_view plain = cut_at_nul(data, static_cast<std::size_t>(size));
    std::string colored;
    if (py::guard([&] { return colored = color_wrap(plain, fg, bg, effect), 0; }) < 0) return -1;
    Location where;
    if (!find_caller(CallerRule::Direct, where)) return -1;
    SinkFailure failure;
    const bool emitted = with_fields && may_have_fields(bound)
                             ? emit_with_fields(logger, lvl, where, plain, colored, failure, bound)
                             : emit(logger, lvl, where, plain, colored, failure);
    if (!emitted) return -1;
    if (failure) report_sink_failure(failure, cls, method);
    return 0;
}

PyObject* with_handled_exception(PyObject* msg) {
    PyObject *type, *value, *tb;
    PyErr_GetExcInfo(&type, &value, &tb);
    py::Ref info(value && value != Py_None && msg != Py_None ? Py_BuildValue("(OOO)", type, value, tb ? tb : Py_None)
                                                             : nullptr);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    if (!info) return PyErr_Occurred() ? nullptr : Py_NewRef(msg);
    py::Ref text(format_exception(info.get()));
    if (!text) return nullptr;
    Py_ssize_t length = PyUnicode_GET_LENGTH(text.get());
    if (length > 0 && PyUnicode_READ_CHAR(text.get(), length - 1) == '\n') --length;
    py::Ref trimmed(PyUnicode_Substring(text.get(), 0, length));
    return trimmed ? PyUnicode_FromFormat("%U\n%U", msg, trimmed.get()) : nullptr;
}

}  // namespace zelvar::scrivo
