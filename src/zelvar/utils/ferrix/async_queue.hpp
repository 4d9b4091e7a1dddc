// AsyncQueue: the asyncio-facing queue.
#pragma once

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

extern PyTypeObject AsyncQueueType;

// The type, its coroutine methods and its module-level unpickle function.
bool add_async_queue_type(PyObject* module);

}  // namespace zelvar::ferrix
