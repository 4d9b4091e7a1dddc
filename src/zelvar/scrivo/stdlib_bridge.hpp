// The standard logging package's way in: PyLogHandler and the routing of the root logger.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// Defines the Python class PyLogHandler (a logging.Handler) in the module.
bool add_py_log_handler(PyObject* module);

// Replaces every handler of the standard root logger by one PyLogHandler at DEBUG. 0 or -1 with an
// exception carrying the traceback entry "zelvar.scrivo.scrivo.redirect_pylog".
int redirect_pylog();

}  // namespace zelvar::scrivo
