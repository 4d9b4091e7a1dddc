// Writing one message straight to the eligible sinks of an spdlog logger, with the Python
// caller's source location: used by the logging methods and by the standard logging bridge.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <spdlog/logger.h>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "caller_location.hpp"

namespace zelvar::scrivo {

// The per-message ANSI wrapping; an empty result means "no codes": use the plain text.
std::string color_wrap(std::string_view text, int32_t fg, int32_t bg, int32_t effect);

// The codes color_wrap writes; a call with none of them needs no wrapped copy.
inline bool has_effect(int32_t effect) { return (effect >= 1 && effect <= 7) || effect == 9; }
inline bool has_color_code(int32_t code) { return code >= 0 && code <= 255; }
inline bool has_color(int32_t fg, int32_t bg, int32_t effect) {
    return has_effect(effect) || has_color_code(fg) || has_color_code(bg);
}

// The text up to its first zero byte.
inline std::string_view cut_at_nul(const char* data, std::size_t size) {
    const void* nul = std::memchr(data, 0, size);
    return {data, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : size};
}

// A sink that threw while writing a message: the first one of a call, with its error.
using SinkFailure = libscrivo::SinkFailure;

// Writes `plain` (or `colored`, when not empty, to console sinks) at `level` to every sink of
// `logger` whose level lets it through, or for a non-blocking logger hands the record to its writer
// (waiting for room, when it must, without the interpreter lock). A sink that throws does not stop
// the others: a logging call never fails because its output could not be written, so the failure
// is handed back in `failure` for the caller to report. `fields` (libscrivo's encoded block) go with
// the record. False with an exception only when the record could not be captured (no memory).
bool emit(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level, const Location& where,
          std::string_view plain, std::string_view colored, SinkFailure& failure, std::string_view fields = {});

// The logger's queue, when it is a non-blocking one.
libscrivo::AsyncLogger* as_async(spdlog::logger* logger);

// Sets the Python exception of a sink failure (the agreed mapping of native exceptions).
void set_sink_error(const SinkFailure& failure) noexcept;

// The text of traceback.format_exception(*exc_info), joined: what the standard package appends to a
// record's message, and the logging methods with `exc_info` too. New reference, or null with an exception.
PyObject* format_exception(PyObject* exc_info);

// What a Python logging call adds to its record beyond the message: keyword arguments as fields
// (borrowed name and value pairs, checked as `bind` checks them), `exc_info` (null for none) and
// its own `stacklevel` (0 for none: the logger's applies).
struct CallExtras {
    const py::ExtraKeywords* fields = nullptr;
    PyObject* exc_info = nullptr;
    int32_t stacklevel = 0;
};

// The whole logging-method path for one message object: None-text error, UTF-8, cut at NUL, level
// test, colours, caller location, the fields (with `with_fields`: the current log_context's, then
// `bound`, then the call's own), the exception (its traceback after the message in the text, and as
// data for JSON), emission. Nothing past the level test is done for a disabled level. A failing sink
// is reported on standard error (through sys.unraisablehook, in the name of the method
// `cls`.`method`) at most once per second per sink. 0, or -1 with an exception for the caller's own
// errors (then nothing is written).
int log_text(const std::shared_ptr<spdlog::logger>& logger, int32_t level, PyObject* msg, int32_t fg, int32_t bg,
             int32_t effect, const char* cls, const char* method, std::string_view bound = {}, bool with_fields = true,
             const CallExtras* call = nullptr);

}  // namespace zelvar::scrivo
