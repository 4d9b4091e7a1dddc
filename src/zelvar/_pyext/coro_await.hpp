// Awaiting inside a body: `co_await py::await(obj)` and `py::async_with`. What each mirrors in CPython:
//   await_iterator   _PyCoro_GetAwaitableIter (the GET_AWAITABLE step of `await`), with its TypeErrors.
//   Await            the suspension of SEND / YIELD_FROM: the iterator goes into cr_await and the
//                    driver (coro_driver.hpp) sends into it.
//   async_with       the compiler's expansion of `async with` (BEFORE_ASYNC_WITH, then __aexit__
//                    called with the exception as WITH_EXCEPT_START does, or with three Nones).
#pragma once

#include <type_traits>
#include <utility>

#include "coro_object.hpp"
#include "coro_task.hpp"
#include "errors.hpp"
#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

// The iterator of `obj` as the `await` expression builds it: a coroutine as it is, otherwise the
// result of __await__, which must be an iterator and not a coroutine. Null with TypeError.
inline Ref await_iterator(PyObject* obj) {
    if (PyCoro_CheckExact(obj) || detail::is_native_coroutine(obj)) return Ref::borrow(obj);
    if (PyGen_CheckExact(obj)) {
        // A generator marked by types.coroutine is awaited as it is.
        Ref code(PyObject_GetAttrString(obj, "gi_code"));
        Ref flags(code ? PyObject_GetAttrString(code.get(), "co_flags") : nullptr);
        if (!flags) return Ref();
        const long f = PyLong_AsLong(flags.get());
        if (f == -1 && PyErr_Occurred()) return Ref();
        if (f & CO_ITERABLE_COROUTINE) return Ref::borrow(obj);
    }
    PyTypeObject* type = Py_TYPE(obj);
    unaryfunc getter = type->tp_as_async ? type->tp_as_async->am_await : nullptr;
    if (!getter) {
        PyErr_Format(PyExc_TypeError, "object %.200s can't be used in 'await' expression", type->tp_name);
        return Ref();
    }
    Ref it(getter(obj));
    if (!it) return it;
    if (PyCoro_CheckExact(it.get()) || detail::is_native_coroutine(it.get())) {
        PyErr_SetString(PyExc_TypeError, "__await__() returned a coroutine");
        return Ref();
    }
    if (!PyIter_Check(it.get())) {
        PyErr_Format(PyExc_TypeError, "__await__() returned non-iterator of type '%.100s'", Py_TYPE(it.get())->tp_name);
        return Ref();
    }
    return it;
}

// What `co_await py::await(obj)` suspends on: the iterator goes into the coroutine object, the
// driver sends into it, and the body resumes with its return value or its error.
class Await {
  public:
    using bridge_awaitable = void;
    explicit Await(Ref iterator) noexcept : iterator_(std::move(iterator)) {}

    bool await_ready() const noexcept { return false; }
    inline void await_suspend(Task::handle h) noexcept;
    inline Ref await_resume();

  private:
    Ref iterator_;
    CoroFrame* frame_ = nullptr;
};

// `co_await py::await(obj)` is `await obj`. `obj` is borrowed; a null `obj` (a failed call) and an
// object that cannot be awaited throw ErrorAlreadySet at the co_await.
inline Await await(PyObject* obj) {
    if (!obj) throw ErrorAlreadySet{};
    Ref it = await_iterator(obj);
    if (!it) throw ErrorAlreadySet{};
    return Await(std::move(it));
}
// The same for a new reference, e.g. `py::await(Ref(PyObject_CallMethod(cond, "wait", nullptr)))`.
// The reference is consumed here: a temporary left alive across the suspension would be a strong
// reference the cycle collector cannot see.
inline Await await(Ref&& obj) {
    Ref owned = std::move(obj);
    return await(owned.get());
}

void Await::await_suspend(Task::handle h) noexcept {
    frame_ = h.promise().frame;
    Py_XDECREF(frame_->awaiting);
    frame_->awaiting = iterator_.release();
    frame_->resume_point = h;
}

Ref Await::await_resume() {
    PyObject* value = std::exchange(frame_->sent, nullptr);
    if (!value) throw ErrorAlreadySet{};
    return Ref(value);
}

namespace detail {

inline Ref lookup_method(PyObject* obj, const char* name) {
    Ref m(PyObject_GetAttrString(obj, name));
    if (!m && PyErr_ExceptionMatches(PyExc_AttributeError)) PyErr_Clear();
    return m;
}

// The exception being handled, as one instance carrying its traceback.
inline Ref take_exception() noexcept {
    SavedError e;
    e.fetch();
    PyErr_NormalizeException(&e.type, &e.value, &e.tb);
    if (e.tb && e.value) PyException_SetTraceback(e.value, e.tb);
    return Ref::borrow(e.value);
}

inline void raise_exception(PyObject* exc) noexcept {
    PyObject* tb = PyException_GetTraceback(exc);
    PyErr_Restore(Py_NewRef(PyExceptionInstance_Class(exc)), Py_NewRef(exc), tb);
}

}  // namespace detail

// `async with manager as entered: <inner>` — __aenter__, the inner sub-body, then __aexit__ with the
// exception the inner one raised (cancellation included) or with three Nones; a true __aexit__
// result suppresses the exception. Gives the inner body's result, None when suppressed. `inner`
// is called as inner(entered) or inner() and returns a py::Task; `manager` is borrowed.
//
//     co_await py::async_with(cond, [&]() -> py::Task {
//         co_return co_await py::await(Ref(PyObject_CallMethod(cond, "wait", nullptr)));
//     });
template <class Inner>
Task async_with(PyObject* manager, Inner inner) {
    CoroFrame& f = co_await this_frame();
    Ref aenter = detail::lookup_method(manager, "__aenter__");
    if (PyErr_Occurred()) throw ErrorAlreadySet{};
    Ref aexit_ref = aenter ? detail::lookup_method(manager, "__aexit__") : Ref();
    if (PyErr_Occurred()) throw ErrorAlreadySet{};
    if (!aexit_ref) {
        PyErr_Format(PyExc_TypeError, "'%.200s' object does not support the asynchronous context manager protocol",
                     Py_TYPE(manager)->tp_name);
        throw ErrorAlreadySet{};
    }
    // Whatever lives across an await is kept where the collector sees it; C++ locals are dropped
    // before each suspension.
    Kept aexit = f.keep(std::move(aexit_ref));
    Ref call(PyObject_CallNoArgs(aenter.get()));
    aenter = Ref();
    Kept entered = f.keep(co_await await(std::move(call)));

    Kept result;
    Kept error;
    try {
        if constexpr (std::is_invocable_v<Inner&, PyObject*>) {
            result = f.keep(co_await inner(entered.get()));
        } else {
            result = f.keep(co_await inner());
        }
    } catch (...) {
        rethrow_forced_unwind();
        set_error_from_current_exception();
        error = f.keep(detail::take_exception());
    }
    if (!error) {
        co_await await(Ref(PyObject_CallFunctionObjArgs(aexit, Py_None, Py_None, Py_None, nullptr)));
        co_return Ref::borrow(result);
    }
    PyObject* exc = error.get();
    {
        Ref tb(PyException_GetTraceback(exc));
        call = Ref(
            PyObject_CallFunctionObjArgs(aexit, PyExceptionInstance_Class(exc), exc, tb ? tb.get() : Py_None, nullptr));
    }
    Ref suppress;
    try {
        suppress = co_await await(std::move(call));
    } catch (...) {
        rethrow_forced_unwind();
        // An error from __aexit__ happens while `exc` is being handled: chain it as Python does.
        set_error_from_current_exception();
        Ref raised = detail::take_exception();
        Ref context(raised ? PyException_GetContext(raised.get()) : nullptr);
        if (raised && !context && raised.get() != exc) PyException_SetContext(raised.get(), Py_NewRef(exc));
        if (raised) detail::raise_exception(raised.get());
        throw ErrorAlreadySet{};
    }
    const int truth = PyObject_IsTrue(suppress.get());
    if (truth < 0) throw ErrorAlreadySet{};
    if (truth) co_return none();
    detail::raise_exception(exc);
    throw ErrorAlreadySet{};
}

}  // namespace zelvar::py
