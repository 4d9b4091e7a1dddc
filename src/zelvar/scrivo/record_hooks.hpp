// What Python may do with a record before the sinks get it: a logger's filter keeps or drops it,
// then every active capture gets its dict. Both cost a logging call one load while none exists.
#pragma once

#include <memory>
#include <string_view>

#include <spdlog/logger.h>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "caller_location.hpp"

namespace zelvar::scrivo {

// Active captures plus loggers with a filter; zero on the plain path. With the interpreter lock.
extern int g_record_hooks;

// Whether a record through `logger` needs its caller's location: for a sink, or for a hook's dict.
inline bool needs_location(const std::shared_ptr<spdlog::logger>& logger) noexcept {
    return g_record_hooks != 0 || prints_location(logger);
}

// Whether a record through `logger` needs its fields gathered: for a sink, or for a hook's dict.
inline bool needs_fields(const std::shared_ptr<spdlog::logger>& logger) noexcept {
    return g_record_hooks != 0 || wants_fields(logger);
}

// The filter and the captures for one record that passed the logger's level: 1 to write it, 0 when the
// filter dropped it, -1 with an exception (no memory for a capture). A filter that raises is reported
// through sys.unraisablehook and the record kept. With the interpreter lock.
int run_record_hooks(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level,
                     const Location& where, std::string_view plain, std::string_view fields);

// A Logger's filter: `filter` (a callable, None or null) is stored in the Logger and runs for every
// record through its native logger (bound loggers and the default logger made from it included).
// False with TypeError for a non-callable.
bool set_logger_filter(LoggerObject* self, PyObject* filter);
// The Logger's filter leaves it: kept for its native logger when the Logger is freed (`freed`)
// while that is the process default, dropped otherwise (the collector clearing a cycle through it).
void clear_logger_filter(LoggerObject* self, bool freed);

// capture_records' native side: _capture_start(list) / _capture_stop(list).
bool add_capture_functions(PyObject* module);

}  // namespace zelvar::scrivo
