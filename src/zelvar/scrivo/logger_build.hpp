// Logger's construction, release and properties; the type and its methods are in loggers.cpp.
#pragma once

#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/scrivo.hpp>

namespace zelvar::scrivo {

// Checks Logger's bound arguments (name, level, pattern, handlers, color_scheme, set_default,
// intercept_stdlib_logging, queue_size, overflow; null where not given) and builds its native
// logger. False with an exception; the half-built object is then released by its dealloc.
bool build_logger(LoggerObject* self, PyObject* const* v);

// Logger's tp_dealloc: what a non-blocking logger still holds is written first.
void logger_dealloc(PyObject* self);

// name and dropped.
extern PyGetSetDef g_logger_properties[];

}  // namespace zelvar::scrivo
