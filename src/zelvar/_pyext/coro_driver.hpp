// The driver of a native coroutine object: how a send, a throw and a close reach the body and the
// iterator it awaits. Each function follows its CPython counterpart (Objects/genobject.c):
//   set_stop_iteration          _PyGen_SetStopIterationValue
//   clear_body / finish         the frame's clearing and the return path of gen_send_ex2
//   send_into / run / send_ex   gen_send_ex2 with the SEND loop of `await` folded in (PyIter_Send)
//   send_or_stop                gen_send_ex (a return becomes StopIteration)
//   close_iterator              gen_close_iter
//   fetch_stop_iteration_value  _PyGen_FetchStopIterationValue
//   throw_into                  _gen_throw
//   coro_close                  gen_close
// Included through coro_object.hpp, which defines the type (and so is_native_coroutine).
#pragma once

#include <coroutine>
#include <utility>

#include "coro_task.hpp"
#include "errors.hpp"
#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

namespace detail {

// Sets StopIteration(value) so that a tuple or an exception instance survives as the value
// (PyErr_SetObject would unpack a tuple into arguments).
inline void set_stop_iteration(PyObject* value) noexcept {
    if (value == Py_None) {
        PyErr_SetNone(PyExc_StopIteration);
        return;
    }
    if (!PyTuple_Check(value) && !PyExceptionInstance_Check(value)) {
        PyErr_SetObject(PyExc_StopIteration, value);
        return;
    }
    PyObject* e = PyObject_CallOneArg(PyExc_StopIteration, value);
    if (!e) return;
    PyErr_SetObject(PyExc_StopIteration, e);
    Py_DECREF(e);
}

inline CoroFrame* as_frame(PyObject* o) noexcept { return reinterpret_cast<CoroFrame*>(o); }

// Destroys the body (its C++ destructors run) and drops every reference it was given.
inline void clear_body(CoroFrame* c) noexcept {
    PreserveError keep_error;
    if (Task::handle h = std::exchange(c->body, {})) h.destroy();
    c->resume_point = {};
    c->state = CoroFrame::kFinished;
    Py_CLEAR(c->awaiting);
    Py_CLEAR(c->sent);
    Py_CLEAR(c->kept);
    for (std::size_t i = 0; i < c->nargs(); ++i) Py_CLEAR(c->args[i]);
}

// The outermost body has finished: its value, or its error with a StopIteration turned into
// RuntimeError as the interpreter does.
inline PySendResult finish(CoroFrame* c, PyObject** presult) noexcept {
    Task::promise_type& p = c->body.promise();
    Ref value = std::move(p.value);
    SavedError error(std::move(p.error));
    const bool failed = p.failed;
    clear_body(c);
    if (!failed && !value) {
        PyErr_SetString(PyExc_SystemError, "native coroutine body ended without co_return");
        return PYGEN_ERROR;
    }
    if (failed) {
        error.restore();
        if (PyErr_ExceptionMatches(PyExc_StopIteration))
            raise_instead(PyExc_RuntimeError, "coroutine raised StopIteration", true);
        return PYGEN_ERROR;
    }
    *presult = value.release();
    return PYGEN_RETURN;
}

// One send into the awaited iterator; the iterator is dropped once it has finished.
inline PySendResult send_into(CoroFrame* c, PyObject* arg, PyObject** presult) noexcept {
    Ref it = Ref::borrow(c->awaiting);
    const PySendResult r = PyIter_Send(it.get(), arg, presult);
    if (r != PYGEN_NEXT) {
        PreserveError keep_error;
        Py_CLEAR(c->awaiting);
    }
    return r;
}

// Resumes the body with `value` (owned; null = throw the error that is set) and keeps going while
// what it awaits next finishes without yielding.
inline PySendResult run(CoroFrame* c, PyObject* value, PyObject** presult) noexcept {
    for (;;) {
        c->sent = value;
        c->resume_point.resume();
        if (c->body.done()) return finish(c, presult);
        if (!c->awaiting) {
            // Only py::await suspends a body; anything else is a bug in the bridge.
            PyErr_SetString(PyExc_SystemError, "native coroutine suspended without an awaitable");
            clear_body(c);
            return PYGEN_ERROR;
        }
        const PySendResult r = send_into(c, Py_None, presult);
        if (r == PYGEN_NEXT) return r;
        value = r == PYGEN_RETURN ? std::exchange(*presult, nullptr) : nullptr;
    }
}

// gen_send_ex2: `exc` throws the error that is set into the body at its co_await; `closing`
// makes a finished coroutine quiet, as close() must be.
inline PySendResult send_ex(CoroFrame* c, PyObject* arg, bool exc, bool closing, PyObject** presult) noexcept {
    *presult = nullptr;
    if (c->running) {
        PyErr_SetString(PyExc_ValueError, "coroutine already executing");
        return PYGEN_ERROR;
    }
    if (c->state == CoroFrame::kFinished) {
        if (!closing) PyErr_SetString(PyExc_RuntimeError, "cannot reuse already awaited coroutine");
        return PYGEN_ERROR;
    }
    if (c->state == CoroFrame::kCreated) {
        if (exc) {
            // Thrown into a body that never ran: it is closed and the error goes on.
            clear_body(c);
            if (PyErr_ExceptionMatches(PyExc_StopIteration))
                raise_instead(PyExc_RuntimeError, "coroutine raised StopIteration", true);
            return PYGEN_ERROR;
        }
        if (arg && arg != Py_None) {
            PyErr_SetString(PyExc_TypeError, "can't send non-None value to a just-started coroutine");
            return PYGEN_ERROR;
        }
    }
    if (Py_EnterRecursiveCall(" in a native coroutine")) return PYGEN_ERROR;
    Ref self = Ref::borrow(c->object());  // the body may drop the last other reference
    c->running = true;
    PySendResult r = PYGEN_ERROR;
    PyObject* value = nullptr;
    bool resume = true;
    if (c->state == CoroFrame::kCreated) {
        c->state = CoroFrame::kStarted;
    } else if (exc) {
        PreserveError keep_error;
        Py_CLEAR(c->awaiting);
    } else if (c->awaiting) {
        r = send_into(c, arg ? arg : Py_None, presult);
        if (r == PYGEN_NEXT) {
            resume = false;
        } else {
            value = r == PYGEN_RETURN ? std::exchange(*presult, nullptr) : nullptr;
        }
    } else {
        value = Py_NewRef(arg ? arg : Py_None);
    }
    if (resume) r = run(c, value, presult);
    c->running = false;
    Py_LeaveRecursiveCall();
    return r;
}

// gen_send_ex: a return becomes StopIteration(value).
inline PyObject* send_or_stop(CoroFrame* c, PyObject* arg, bool exc, bool closing) noexcept {
    PyObject* result;
    if (send_ex(c, arg, exc, closing, &result) == PYGEN_RETURN) {
        set_stop_iteration(result);
        Py_CLEAR(result);
    }
    return result;
}

inline PyObject* coro_close(PyObject* self, PyObject* = nullptr);

// gen_close_iter: closes the awaited iterator; -1 with its error set when that fails.
inline int close_iterator(PyObject* it) noexcept {
    Ref result;
    if (is_native_coroutine(it)) {
        result = Ref(coro_close(it));
        return result ? 0 : -1;
    }
    Ref close(PyObject_GetAttrString(it, "close"));
    if (!close) {
        if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
            PyErr_Clear();
        } else {
            PyErr_WriteUnraisable(it);
        }
        return 0;
    }
    result = Ref(PyObject_CallNoArgs(close.get()));
    return result ? 0 : -1;
}

// Takes the value out of a StopIteration being raised: 0 and a new reference, or -1 with the
// error left as it is.
inline int fetch_stop_iteration_value(PyObject** pvalue) noexcept {
    if (!PyErr_ExceptionMatches(PyExc_StopIteration)) return -1;
    SavedError e;
    e.fetch();
    PyErr_NormalizeException(&e.type, &e.value, &e.tb);
    Ref value(e.value ? PyObject_GetAttrString(e.value, "value") : Py_NewRef(Py_None));
    if (!value) return -1;
    *pvalue = value.release();
    return 0;
}

// _gen_throw: to the awaited iterator when it has `throw`, otherwise into the body.
inline PyObject* throw_into(CoroFrame* c, PyObject* typ, PyObject* val, PyObject* tb) noexcept {
    if (c->running) {
        PyErr_SetString(PyExc_ValueError, "coroutine already executing");
        return nullptr;
    }
    if (c->awaiting) {
        Ref it = Ref::borrow(c->awaiting);
        if (PyErr_GivenExceptionMatches(typ, PyExc_GeneratorExit)) {
            // GeneratorExit closes the awaited iterator and goes to the body itself.
            c->running = true;
            const int err = close_iterator(it.get());
            c->running = false;
            if (err < 0) return send_or_stop(c, Py_None, true, false);
        } else {
            Ref ret;
            if (is_native_coroutine(it.get())) {
                c->running = true;
                ret = Ref(throw_into(as_frame(it.get()), typ, val, tb));
                c->running = false;
            } else {
                Ref meth(PyObject_GetAttrString(it.get(), "throw"));
                if (!meth) {
                    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
                    PyErr_Clear();
                    goto throw_here;
                }
                c->running = true;
                // Stops at the first null: the one-argument form stays one argument.
                ret = Ref(PyObject_CallFunctionObjArgs(meth.get(), typ, val, tb, nullptr));
                c->running = false;
            }
            if (ret) return ret.release();  // the iterator yielded: so do we
            {
                PreserveError keep_error;
                Py_CLEAR(c->awaiting);
            }
            PyObject* value;
            if (fetch_stop_iteration_value(&value) == 0) {
                PyObject* result = send_or_stop(c, value, false, false);
                Py_DECREF(value);
                return result;
            }
            return send_or_stop(c, Py_None, true, false);
        }
    }
throw_here:
    if (tb == Py_None) {
        tb = nullptr;
    } else if (tb && !PyTraceBack_Check(tb)) {
        PyErr_SetString(PyExc_TypeError, "throw() third argument must be a traceback object");
        return nullptr;
    }
    Py_INCREF(typ);
    Py_XINCREF(val);
    Py_XINCREF(tb);
    if (PyExceptionClass_Check(typ)) {
        PyErr_NormalizeException(&typ, &val, &tb);
    } else if (PyExceptionInstance_Check(typ)) {
        if (val && val != Py_None) {
            PyErr_SetString(PyExc_TypeError, "instance exception may not have a separate value");
            goto failed;
        }
        Py_XDECREF(val);
        val = typ;
        typ = Py_NewRef(PyExceptionInstance_Class(typ));
        if (!tb) tb = PyException_GetTraceback(val);
    } else {
        PyErr_Format(PyExc_TypeError, "exceptions must be classes or instances deriving from BaseException, not %s",
                     Py_TYPE(typ)->tp_name);
        goto failed;
    }
    PyErr_Restore(typ, val, tb);
    return send_or_stop(c, Py_None, true, false);
failed:
    Py_DECREF(typ);
    Py_XDECREF(val);
    Py_XDECREF(tb);
    return nullptr;
}

// gen_close: GeneratorExit into the body (after closing the awaited iterator); a body that
// awaits again is an error.
inline PyObject* coro_close(PyObject* self, PyObject*) {
    CoroFrame* c = as_frame(self);
    if (c->running) {
        PyErr_SetString(PyExc_ValueError, "coroutine already executing");
        return nullptr;
    }
    if (c->state == CoroFrame::kCreated) clear_body(c);
    if (c->state == CoroFrame::kFinished) Py_RETURN_NONE;
    int err = 0;
    if (c->awaiting) {
        Ref it = Ref::borrow(c->awaiting);
        c->running = true;
        err = close_iterator(it.get());
        c->running = false;
    }
    if (err == 0) PyErr_SetNone(PyExc_GeneratorExit);
    PyObject* result;
    const PySendResult r = send_ex(c, Py_None, true, true, &result);
    if (r == PYGEN_NEXT) {
        Py_DECREF(result);
        PyErr_SetString(PyExc_RuntimeError, "coroutine ignored GeneratorExit");
        return nullptr;
    }
    if (r == PYGEN_RETURN) {
#if PY_VERSION_HEX >= 0x030D0000
        return result;  // 3.13: close() gives back what a body returned while closing
#else
        Py_DECREF(result);
        Py_RETURN_NONE;
#endif
    }
    if (PyErr_ExceptionMatches(PyExc_GeneratorExit)) {
        PyErr_Clear();
        Py_RETURN_NONE;
    }
    return nullptr;
}

}  // namespace detail

}  // namespace zelvar::py
