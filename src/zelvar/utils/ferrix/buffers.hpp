// Message kinds: the four conversion functions and CBufferView.
#pragma once

#include <cstddef>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

extern PyTypeObject CBufferViewType;

// The four conversions (signatures in ferrix.hpp), for the module's own types too.
int obj_to_cbuf(PyObject* obj, PyObject** holder, const char** data, std::size_t* size);
int buf_to_cbuf(PyObject* obj, Py_buffer* view, const char** data, std::size_t* size);
int bytes_to_cbuf(PyObject* obj, const char** data, std::size_t* size);
int str_to_cbuf(PyObject* obj, const char** data, std::size_t* size);

bool add_buffer_capi(PyObject* capi);
bool add_buffer_view_type(PyObject* module);

}  // namespace zelvar::ferrix
