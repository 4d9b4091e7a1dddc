// Writing one message straight to the eligible sinks of an spdlog logger, with the Python
// caller's source location: used by the logging methods and by the standard logging bridge.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <spdlog/logger.h>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>

namespace zelvar::scrivo {

// A caller's source location. The texts point into str objects that the location keeps alive.
struct Location {
    const char* file = "<unknown>";
    const char* function = "<module>";
    int line = 0;
    py::Ref file_text, function_text;
};

enum class CallerRule {
    Direct,          // a logging method: the nearest non-module caller of the calling frame
    StandardLogging  // a record of the standard package: first skip the package's own frames
};

// Fills `out` from the calling thread's Python stack. False with an exception on failure.
bool find_caller(CallerRule rule, Location& out);

// The per-message ANSI wrapping; an empty result means "no codes": use the plain text.
std::string colour_wrap(std::string_view text, int32_t fg, int32_t bg, int32_t effect);

// True for spdlog's thread-safe console sinks (and types derived from them), looking through any
// depth of MaxSinkLevel wrappers.
bool is_console_sink(spdlog::sinks::sink* sink);

// The text up to its first zero byte.
inline std::string_view cut_at_nul(const char* data, std::size_t size) {
    const void* nul = std::memchr(data, 0, size);
    return {data, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : size};
}

// Writes `plain` (or `coloured`, when not empty, to console sinks) at `level` to every sink of
// `logger` whose level lets it through. -1 with a Python exception when a sink throws.
int emit(spdlog::logger& logger, spdlog::level::level_enum level, const Location& where, std::string_view plain,
         std::string_view coloured);

// The whole logging-method path for one message object: None-text error, UTF-8, cut at NUL, level
// test, colours, caller location, emission. 0 or -1 with an exception.
int log_text(spdlog::logger* logger, int32_t level, PyObject* msg, int32_t fg, int32_t bg, int32_t effect);

}  // namespace zelvar::scrivo
