// Message kinds: the four conversion functions and CBufferView.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

extern PyTypeObject CBufferViewType;

bool add_buffer_capi(PyObject* capi);
bool add_buffer_view_type(PyObject* module);

}  // namespace zelvar::ferrix
