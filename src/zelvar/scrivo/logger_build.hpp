// Logger's construction, release and properties; the type and its methods are in loggers.cpp.
#pragma once

#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/scrivo.hpp>

namespace zelvar::scrivo {

// Checks Logger's bound arguments (name, level, pattern, handlers, color_scheme, set_default,
// intercept_stdlib_logging, queue_size, overflow, flush_interval, stacklevel, filter; null where not given) and builds
// its native logger. False with an exception; the half-built object is then released by its dealloc.
bool build_logger(LoggerObject* self, PyObject* const* v);

// Logger's collector support: its filter.
int logger_traverse(PyObject* self, visitproc visit, void* arg);
int logger_clear(PyObject* self);

// Logger's tp_dealloc: what a non-blocking logger still holds is written first.
void logger_dealloc(PyObject* self);

// A logger's own level as a Level, and its setter from the constructor's `level` values (0, or -1
// with an exception). Shared by Logger and DefaultLogger.
PyObject* native_level(const std::shared_ptr<spdlog::logger>& logger);
int set_native_level(const std::shared_ptr<spdlog::logger>& logger, PyObject* value);

// name, level, dropped, stacklevel and filter.
extern PyGetSetDef g_logger_properties[];

}  // namespace zelvar::scrivo
