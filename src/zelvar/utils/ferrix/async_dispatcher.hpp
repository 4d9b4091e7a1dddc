// AsyncDispatcher: native producers to an asyncio reader task.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

extern PyTypeObject AsyncDispatcherType;

bool add_async_dispatcher_type(PyObject* module);

}  // namespace zelvar::ferrix
