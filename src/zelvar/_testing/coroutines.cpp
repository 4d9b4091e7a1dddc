// zelvar._testing, coroutine part: bodies written with the coroutine bridge.
#include "testing.hpp"

bool add_coroutine_functions(PyObject*) { return true; }
