// Where a logging call came from in Python code: the location the sinks' patterns print.
#pragma once

#include <cstdint>
#include <memory>

#include <spdlog/logger.h>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>

namespace zelvar::scrivo {

// A caller's source location. The texts point into str (or bytes) objects that the location keeps
// alive.
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

// Fills `out` from the calling thread's Python stack; the caller holds the interpreter lock (the
// lookup reads the current thread state and takes no lock of its own: PyGILState_Ensure would
// deadlock in a sub-interpreter). A `stacklevel` from 1 up replaces the rule: the frame that many
// levels up, 1 being the one that made the call. False with an exception on failure.
bool find_caller(CallerRule rule, Location& out, int32_t stacklevel = 0);

// The location a record of the standard package carries (its pathname's last component, lineno,
// funcName); a value of another type leaves that part as it is. False with an exception.
bool record_location(PyObject* pathname, PyObject* lineno, PyObject* func_name, Location& out);

// Whether a sink of `logger` may write the caller's location (else the walk is skipped and the
// location left as it is). Cached for the last few loggers and their sink sets; with the
// interpreter lock.
bool prints_location(const std::shared_ptr<spdlog::logger>& logger) noexcept;

// Whether a record through `logger` needs its fields (the current log_context's and a bound
// logger's) gathered: a sink may write them (JSON, syslog, a pattern with %K). Cached as
// prints_location is; with the interpreter lock. Whatever else reads a record's fields ORs its own
// need into this one decision.
bool wants_fields(const std::shared_ptr<spdlog::logger>& logger) noexcept;

}  // namespace zelvar::scrivo
