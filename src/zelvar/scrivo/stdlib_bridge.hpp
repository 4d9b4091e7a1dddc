// The standard logging package's way in: PyLogHandler and the routing of the root logger.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// Defines the Python class PyLogHandler (a logging.Handler) in the module.
bool add_py_log_handler(PyObject* module);

// The text of traceback.format_exception(*exc_info), joined: what the standard package appends to a
// record's message. New reference, or null with an exception.
PyObject* format_exception(PyObject* exc_info);

// Replaces every handler of the standard root logger by one PyLogHandler at DEBUG. 0 or -1 with an
// exception carrying the traceback entry "zelvar.scrivo.scrivo.redirect_pylog".
int redirect_pylog();

}  // namespace zelvar::scrivo
