// zelvar._testing: one native test module, one source file per interface it drives.
#pragma once

#include <zelvar/_pyext/python.hpp>

bool add_logging_functions(PyObject* module);
bool add_coroutine_functions(PyObject* module);
bool add_bridge_functions(PyObject* module);
