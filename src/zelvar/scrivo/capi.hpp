// The native logger access functions published in __pyx_capi__.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// Creates __pyx_capi__ with get_logger_by_name, get_logger_ptr and get_logger, in that order.
bool add_capi(PyObject* module);

}  // namespace zelvar::scrivo
