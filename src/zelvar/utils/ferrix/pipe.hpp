// NexoPipe: one ring with one fixed set of producer and consumer entries.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

extern PyTypeObject NexoPipeType;

bool add_pipe_type(PyObject* module);

}  // namespace zelvar::ferrix
