// AsyncQueue's waiting and waking: asyncio.Condition driven from native coroutines, and the test
// that lets a push skip a notify that would change nothing.
#include "async_queue_wait.hpp"

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "module_state.hpp"

namespace zelvar::ferrix {

using py::CoroFrame;
using py::Ref;
using py::Task;

namespace {

// A "length" of zero or None, read from a container attribute; false when anything is unexpected.
bool attribute_is_empty(PyObject* obj, PyObject* name) {
    Ref value(PyObject_GetAttr(obj, name));
    if (!value) {
        PyErr_Clear();
        return false;
    }
    if (value.get() == Py_None) return true;
    const Py_ssize_t n = PyObject_Length(value.get());
    if (n < 0) PyErr_Clear();
    return n == 0;
}

// Whether every future in `obj.<name>` (None counts as none) is done: notify() skips those.
bool all_waiters_done(PyObject* obj, PyObject* name) {
    Ref waiters(PyObject_GetAttr(obj, name));
    if (waiters && waiters.get() == Py_None) return true;
    Ref it(waiters ? PyObject_GetIter(waiters.get()) : nullptr);
    bool all_done = static_cast<bool>(it);
    while (all_done) {
        Ref fut(PyIter_Next(it.get()));
        if (!fut) break;
        Ref done(PyObject_CallMethodNoArgs(fut.get(), imported().done));
        all_done = done.get() == Py_True;
    }
    if (PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return all_done;
}

}  // namespace

bool notify_is_noop(PyObject* cond) {
    const ImportedObjects& names = imported();
    if (reinterpret_cast<PyObject*>(Py_TYPE(cond)) != imported().condition_type) return false;
    Ref lock(PyObject_GetAttr(cond, names.lock));
    if (!lock) {
        PyErr_Clear();
        return false;
    }
    if (reinterpret_cast<PyObject*>(Py_TYPE(lock.get())) != imported().lock_type) return false;
    Ref is_locked(PyObject_GetAttr(lock.get(), names.locked));
    if (!is_locked) PyErr_Clear();
    return is_locked.get() == Py_False && attribute_is_empty(lock.get(), names.waiters) &&
           all_waiters_done(cond, names.waiters);
}

Task call_under_condition(CoroFrame& f, PyObject* condition, const char* method) {
    py::Kept cond = f.keep(Ref::borrow(condition));
    co_return co_await py::async_with(
        cond, [&]() -> Task { co_return Ref(PyObject_CallMethod(cond.get(), method, nullptr)); });
}

Task wait_for_notify(CoroFrame& f, AsyncQueueObject* q) {
    py::Kept cond = f.keep(Ref::borrow(q->_notify_cond));
    py::Kept error;
    try {
        co_return co_await py::async_with(cond, [&]() -> Task {
            co_return co_await py::await(Ref(PyObject_CallMethod(cond.get(), "wait", nullptr)));
        });
    } catch (...) {
        py::rethrow_forced_unwind();
        py::set_error_from_current_exception();
        error = f.keep(py::detail::take_exception());
    }
    const bool closing = PyErr_GivenExceptionMatches(error.get(), PyExc_GeneratorExit);  // must not await again
    if (!closing && has_ring(q) && ring_size(q->_q) != 0) co_await call_under_condition(f, q->_notify_cond, "notify");
    py::detail::raise_exception(error.get());
    throw py::ErrorAlreadySet{};
}

}  // namespace zelvar::ferrix
