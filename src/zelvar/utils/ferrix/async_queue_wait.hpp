// AsyncQueue's waiting and waking on its asyncio.Condition, for the queue's native coroutines.
#pragma once

#include <zelvar/_pyext/coro.hpp>
#include <zelvar/utils/ferrix/ferrix.hpp>

namespace zelvar::ferrix {

// True when `async with cond: cond.notify()` would change nothing: asyncio's own Condition over
// its own Lock, the lock free with nobody queued for it, and every waiter of the condition already
// notified (woken, not yet resumed) or none at all. The round trip (a lock coroutine, two method
// calls) is then skipped.
bool notify_is_noop(PyObject* cond);

// async with condition: condition.<method>()
py::Task call_under_condition(py::CoroFrame& f, PyObject* condition, const char* method);

// async with q._notify_cond: await q._notify_cond.wait(). A waiter that ends by an error (a
// cancellation) may have been notified already: while a message waits in the ring, the wake-up is
// handed on to the next waiter.
py::Task wait_for_notify(py::CoroFrame& f, AsyncQueueObject* q);

}  // namespace zelvar::ferrix
