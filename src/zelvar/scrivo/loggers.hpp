// Logger and DefaultLogger.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

extern PyTypeObject LoggerType;
extern PyTypeObject DefaultLoggerType;

// Readies and binds Logger, then DefaultLogger, with their method tables.
bool add_logger_types(PyObject* module);
// Attaches the logging methods to Logger, then to DefaultLogger.
bool attach_logging_methods(PyObject* module);
// Registers the atexit hook that drains the non-blocking loggers before finalisation.
bool add_exit_hook(PyObject* module);
// Binds __pyx_unpickle_DefaultLogger.
bool add_default_logger_unpickle_function(PyObject* module);

}  // namespace zelvar::scrivo
