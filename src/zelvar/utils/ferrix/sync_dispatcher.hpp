// SyncDispatcher: a native consumer thread hands each message to a Python callback.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

extern PyTypeObject SyncDispatcherType;

bool add_sync_dispatcher_type(PyObject* module);

}  // namespace zelvar::ferrix
