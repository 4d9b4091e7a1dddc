// One message from a logging call to the sinks: its colour wrapping, the hand-off to a synchronous
// or a non-blocking logger, and the report of a sink that failed.
#include "emission.hpp"

#include <cstdio>
#include <cstring>
#include <typeinfo>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "bound_logger.hpp"
#include "module_state.hpp"
#include "record_fields.hpp"
#include "record_hooks.hpp"
#include "stacklevel.hpp"

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
    if (has_effect(effect)) append_code(codes, "", effect);
    if (has_color_code(fg)) append_code(codes, libscrivo::foreground_prefix(fg), fg);
    if (has_color_code(bg)) append_code(codes, libscrivo::background_prefix(bg), bg);
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
    if (g_record_hooks) {
        const int hooked = run_record_hooks(logger, level, where, plain, fields);
        if (hooked <= 0) return hooked == 0;
    }
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
    char where[192];  // the method's dotted name; no Python call while the sink's exception is set
    std::snprintf(where, sizeof where, "%s.%s.%s", kModuleName, cls, method);
    set_sink_error(failure);
    py::hand_to_unraisablehook(where);
}

}  // namespace

namespace {

// The record's last steps once its text and fields are known: colours, the caller, emission (the
// fields `block` as they are, or with `gather` those of the current log_context and `block` as the
// bound ones), the report of a failing sink.
int write_record(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum lvl, std::string_view plain,
                 int32_t fg, int32_t bg, int32_t effect, const char* cls, const char* method, std::string_view block,
                 bool gather, int32_t stacklevel = 0) {
    std::string colored;
    if (has_color(fg, bg, effect) && py::guard([&] { return colored = color_wrap(plain, fg, bg, effect), 0; }) < 0)
        return -1;
    Location where;
    if (needs_location(logger) &&
        !find_caller(CallerRule::Direct, where, stacklevel ? stacklevel : stacklevel_of(logger)))
        return -1;
    SinkFailure failure;
    const bool emitted = gather ? emit_with_fields(logger, lvl, where, plain, colored, failure, block)
                                : emit(logger, lvl, where, plain, colored, failure, block);
    if (!emitted) return -1;
    if (failure) report_sink_failure(failure, cls, method);
    return 0;
}

// A call with fields or an exception of its own: both are checked and converted only here, past the
// level test.
[[gnu::noinline]] int log_call(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum lvl,
                               std::string_view text, int32_t fg, int32_t bg, int32_t effect, const char* cls,
                               const char* method, std::string_view bound, const CallExtras& call) {
    std::string own;
    if (call.fields) {
        if (py::guard([&] { return own.reserve(128), 0; }) < 0) return -1;
        for (std::size_t i = 0; i < call.fields->size(); ++i) {
            const auto [key, value] = (*call.fields)[i];
            std::string_view name;
            if (!check_name(key, name) || !append_value(own, name, value)) return -1;
        }
    }
    py::Ref info;
    if (call.exc_info && !exception_info(call.exc_info, info)) return -1;
    std::string with_traceback, members;
    std::string_view plain = cut_at_nul(text.data(), text.size());
    if (info) {
        // As exception() has always written it: the message, a newline, the traceback without its last newline.
        py::Ref formatted(format_exception(info.get()));
        std::string_view traceback;
        if (!formatted || !py::utf8_view(formatted.get(), traceback) ||
            !append_exception_members(members, info.get(), traceback))
            return -1;
        if (!traceback.empty() && traceback.back() == '\n') traceback.remove_suffix(1);
        if (py::guard([&] { return with_traceback.append(text).append(1, '\n').append(traceback), 0; }) < 0) return -1;
        plain = cut_at_nul(with_traceback.data(), with_traceback.size());
    }
    RecordFields gathered;
    if (!gathered.gather(bound)) return -1;
    std::string block;
    if (py::guard([&] {
            if (gathered.block().empty()) {
                block = std::move(own);
            } else {
                block = own.empty() ? std::string(gathered.block()) : merge_fields(gathered.block(), own);
            }
            if (info) libscrivo::append_exception(block, cut_at_nul(text.data(), text.size()).size(), members);
            return 0;
        }) < 0)
        return -1;
    return write_record(logger, lvl, plain, fg, bg, effect, cls, method, block, false, call.stacklevel);
}

}  // namespace

PyObject* format_exception(PyObject* exc_info) {
    py::Ref items(PySequence_Tuple(exc_info));
    PyObject* traceback = items ? global("traceback") : nullptr;
    py::Ref format(traceback ? PyObject_GetAttrString(traceback, "format_exception") : nullptr);
    py::Ref lines(format ? PyObject_Call(format.get(), items.get(), nullptr) : nullptr);
    py::Ref empty(lines ? PyUnicode_FromString("") : nullptr);
    return empty ? PyUnicode_Join(empty.get(), lines.get()) : nullptr;
}

int log_text(const std::shared_ptr<spdlog::logger>& logger, int32_t level, PyObject* msg, int32_t fg, int32_t bg,
             int32_t effect, const char* cls, const char* method, std::string_view bound, bool with_fields,
             const CallExtras* call) {
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
    if (call)
        return log_call(logger, lvl, {data, static_cast<std::size_t>(size)}, fg, bg, effect, cls, method, bound, *call);
    const std::string_view plain = cut_at_nul(data, static_cast<std::size_t>(size));
    if (!with_fields || !may_have_fields(bound) || !needs_fields(logger))
        return write_record(logger, lvl, plain, fg, bg, effect, cls, method, {}, false);
    return write_record(logger, lvl, plain, fg, bg, effect, cls, method, bound, true);
}

}  // namespace zelvar::scrivo
