// Batch delivery, shared by the three consumers (the thread dispatcher's consumer, the asyncio
// dispatcher's reader and the queue's dispatcher task): the `batch=` argument, and a list of the
// messages waiting now, in ring order.
#pragma once

#include <cstddef>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>

namespace zelvar::ferrix {

// `batch=` when given (0, one message per call, when not).
inline bool take_batch(PyObject* value, std::size_t& out) { return !value || py::to_count(value, "batch", out); }

// Appends bytes(data) to `list`; false with the error set.
inline bool append_message(PyObject* list, const char* data, std::size_t size) {
    py::Ref msg(PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size)));
    return msg && PyList_Append(list, msg.get()) == 0;
}

// Fills `list` with the message in hand, then with what `try_pop` finds waiting, up to `limit`
// messages in all; it never waits for more. Allocates no tracked object, so no collection (and no
// Python code) runs between a run-flag check made before and the call the list is for.
template <class TryPop>
bool fill_batch(PyObject* list, const char* data, std::size_t size, std::size_t limit, TryPop try_pop) {
    if (!append_message(list, data, size)) return false;
    while (static_cast<std::size_t>(PyList_GET_SIZE(list)) < limit && try_pop(&data, &size) == 1) {
        if (!append_message(list, data, size)) return false;
    }
    return true;
}

}  // namespace zelvar::ferrix
