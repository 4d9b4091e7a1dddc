// The handler descriptions' and the color scheme's __init__: argument binding, checks, defaults.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// A syslog address: a str (Unix socket path), an exact (str host, int port) tuple, or None;
// TypeError otherwise.
bool check_address(PyObject* v);

int log_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int stderr_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int basic_console_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int stdout_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int console_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int rotating_file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int json_file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int daily_file_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int syslog_handler_init(PyObject* self, PyObject* args, PyObject* kwargs);
int color_scheme_init(PyObject* self, PyObject* args, PyObject* kwargs);

}  // namespace zelvar::scrivo
