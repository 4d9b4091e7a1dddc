// The bridge between C++20 coroutines and Python's awaitable protocol.
//
// A body is a C++ coroutine returning `py::Task`; `py::make_coroutine` wraps it in a native
// coroutine object that asyncio drives like its own. Inside a body, `co_await py::await(obj)`
// behaves as `await obj` does in Python: sends and throws go to the awaited iterator, its return
// value resumes the body, an error (CancelledError included) resumes the body by throwing
// `ErrorAlreadySet` at that `co_await` with the Python exception set, so RAII and try/catch work
// (catch, inspect, PyErr_Clear to handle it; or let it go on). A body may `co_await` another
// `py::Task` (a sub-body); both run on the same coroutine object, so a cancellation reaches the
// innermost `co_await`. Every body ends with `co_return` (a Ref, `py::none()`, or a null Ref for
// the error that is set).
//
// References: the coroutine object owns its arguments and whatever the body `keep`s, and shows them
// to the cycle collector. A C++ local that holds a reference across a `co_await` is invisible to
// it, so such locals may only hold objects that cannot lead back to the coroutine (ints, strings,
// results used at once); anything else goes through `f.keep(...)`.
//
//     // async def push(self, item):
//     //     async with self._not_full:
//     //         while self.full(): await self._not_full.wait()
//     //         self.put(item)
//     py::Task push(py::CoroFrame& f) {
//         py::Kept cond = f.keep(Ref(PyObject_GetAttrString(f.arg(0), "_not_full")));
//         co_return co_await py::async_with(cond, [&]() -> py::Task {
//             while (full(f.arg(0))) co_await py::await(Ref(PyObject_CallMethod(cond, "wait", nullptr)));
//             co_return Ref(PyObject_CallMethod(f.arg(0), "put", "O", f.arg(1)));
//         });
//     }
//     constexpr py::CoroutineDef<2> kPush{"push", "Queue.push", py::params("push", {"self", "item"}, 2), push};
//     PyObject* method = py::make_coroutine_function<kPush>(doc, "zelvar.spsc_queue");
#pragma once

#include <concepts>
#include <coroutine>
#include <cstddef>
#include <exception>
#include <initializer_list>
#include <span>
#include <type_traits>
#include <utility>

#include "python.hpp"
#include "args.hpp"
#include "errors.hpp"
#include "function.hpp"
#include "ref.hpp"
#include "types.hpp"

namespace zelvar::py {

struct CoroFrame;
class Task;

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

inline bool is_native_coroutine(PyObject* o) noexcept;

// A body that flowed off its end instead of reaching co_return.
[[noreturn]] inline void raise_no_result() {
    PyErr_SetString(PyExc_SystemError, "native coroutine body ended without co_return");
    throw ErrorAlreadySet{};
}

// Awaitables the promise accepts: anything else in a body is a compile error.
template <class A>
concept BridgeAwaitable = requires { typename std::remove_cvref_t<A>::bridge_awaitable; };

template <class>
inline constexpr bool kAlwaysFalse = false;

}  // namespace detail

// The result of a body: an owning reference, `py::none()`, or a null Ref for "the Python error
// that is set" (so `co_return Ref(PyObject_Call(...))` propagates a failed call).
inline Ref none() noexcept { return Ref::borrow(Py_None); }

// The C++ coroutine type of bodies and sub-bodies. Nothing runs until the coroutine object is first
// sent to (or the sub-body is awaited); a finished body stays suspended until its owner destroys it.
class [[nodiscard]] Task {
public:
    struct promise_type;
    using handle = std::coroutine_handle<promise_type>;

    struct FinalAwaiter {
        bool await_ready() const noexcept { return false; }
        // Hands control back to the awaiting body, or to the driver for the outermost one.
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) const noexcept {
            std::coroutine_handle<> next = h.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() const noexcept {}
    };

    struct promise_type {
        CoroFrame* frame = nullptr;            // the Python coroutine object driving this body
        std::coroutine_handle<> continuation;  // the body awaiting this one; none for the outermost
        Ref value;
        detail::SavedError error;  // taken out of the thread state so unwinding can call Python
        bool failed = false;

        Task get_return_object() noexcept { return Task(handle::from_promise(*this)); }
        std::suspend_always initial_suspend() const noexcept { return {}; }
        FinalAwaiter final_suspend() const noexcept { return {}; }
        void return_value(Ref v) {
            if (!v) throw ErrorAlreadySet{};
            value = std::move(v);
        }
        void unhandled_exception() noexcept {
            set_error_from_current_exception();
            error.fetch();
            failed = true;
        }
        template <detail::BridgeAwaitable A>
        A&& await_transform(A&& a) const noexcept {
            return std::forward<A>(a);
        }
        template <class A>
            requires(!detail::BridgeAwaitable<A>)
        void await_transform(A&&) const noexcept {
            static_assert(detail::kAlwaysFalse<A>,
                          "a body awaits only py::await(obj), another py::Task or py::this_frame()");
        }
    };

    using bridge_awaitable = void;

    Task(Task&& o) noexcept : h_(std::exchange(o.h_, {})) {}
    Task& operator=(Task&& o) noexcept {
        if (this != &o) {
            if (h_) h_.destroy();
            h_ = std::exchange(o.h_, {});
        }
        return *this;
    }
    ~Task() {
        if (h_) h_.destroy();
    }

    // Gives the frame to the caller, who destroys it.
    handle release() noexcept { return std::exchange(h_, {}); }

    // `co_await sub_body(...)`: runs the sub-body on the same coroutine object; its result, or its
    // error rethrown as ErrorAlreadySet.
    auto operator co_await() && noexcept {
        struct Awaiter {
            handle sub;
            bool await_ready() const noexcept { return false; }
            std::coroutine_handle<> await_suspend(handle parent) const noexcept {
                sub.promise().continuation = parent;
                sub.promise().frame = parent.promise().frame;
                return sub;
            }
            Ref await_resume() const {
                promise_type& p = sub.promise();
                if (p.failed) {
                    p.failed = false;
                    p.error.restore();
                    throw ErrorAlreadySet{};
                }
                if (!p.value) detail::raise_no_result();
                return std::move(p.value);
            }
        };
        return Awaiter{h_};
    }

private:
    explicit Task(handle h) noexcept : h_(h) {}
    handle h_;
};

// An object kept by the coroutine object for a body: owned and traversed there, released when the
// handle goes out of scope (or when the coroutine finishes). Converts to the borrowed pointer.
class Kept {
public:
    Kept() noexcept = default;
    Kept(CoroFrame* frame, PyObject* obj) noexcept : frame_(frame), obj_(obj) {}
    Kept(Kept&& o) noexcept : frame_(std::exchange(o.frame_, nullptr)), obj_(std::exchange(o.obj_, nullptr)) {}
    Kept& operator=(Kept&& o) noexcept {
        if (this != &o) {
            reset();
            frame_ = std::exchange(o.frame_, nullptr);
            obj_ = std::exchange(o.obj_, nullptr);
        }
        return *this;
    }
    ~Kept() { reset(); }

    PyObject* get() const noexcept { return obj_; }
    operator PyObject*() const noexcept { return obj_; }
    inline void reset() noexcept;

private:
    CoroFrame* frame_ = nullptr;
    PyObject* obj_ = nullptr;
};

// The native coroutine object, and the body's view of it.
struct CoroFrame {
    enum State : unsigned char { kCreated, kStarted, kFinished };

    PyObject_VAR_HEAD
    Task::handle body;                    // the outermost body; null once finished
    std::coroutine_handle<> resume_point;  // the innermost body, where the next resumption goes
    PyObject* awaiting;                   // the iterator being awaited (cr_await)
    PyObject* sent;                       // what the pending co_await receives; null = raise the error
    PyObject* kept;                       // list of objects kept for the body, or null
    PyObject* name;                       // created from c_name when first asked for
    PyObject* qualname;
    const char* c_name;
    const char* c_qualname;
    PyObject* weakrefs;
    State state;
    bool running;
    PyObject* args[1];  // the arguments the body was created with (null = not given)

    PyObject* object() noexcept { return reinterpret_cast<PyObject*>(this); }
    std::size_t nargs() const noexcept { return static_cast<std::size_t>(ob_base.ob_size); }
    // A creation argument, borrowed, valid until the body finishes; null when not given.
    PyObject* arg(std::size_t i) const noexcept { return i < nargs() ? args[i] : nullptr; }

    // Keeps `obj` in the coroutine object for as long as the returned handle lives. A null `obj`
    // (a failed call) throws ErrorAlreadySet.
    Kept keep(Ref obj) {
        if (!obj) throw ErrorAlreadySet{};
        if (!kept && !(kept = PyList_New(0))) throw ErrorAlreadySet{};
        if (PyList_Append(kept, obj.get()) < 0) throw ErrorAlreadySet{};
        return Kept(this, obj.get());
    }
    Kept keep(PyObject* borrowed) { return keep(Ref::borrow(borrowed)); }

    // Drops the most recent entry for `obj`, if the list still holds it.
    void release(PyObject* obj) noexcept {
        if (!kept || !obj) return;
        for (Py_ssize_t i = PyList_GET_SIZE(kept); i-- > 0;) {
            if (PyList_GET_ITEM(kept, i) == obj) {
                detail::PreserveError keep_error;
                if (PyList_SetSlice(kept, i, i + 1, nullptr) < 0) PyErr_Clear();
                return;
            }
        }
    }
};

inline void Kept::reset() noexcept {
    if (frame_) frame_->release(obj_);
    frame_ = nullptr;
    obj_ = nullptr;
}

// `CoroFrame& f = co_await py::this_frame();` gives a helper sub-body its coroutine object without
// suspending.
struct ThisFrame {
    using bridge_awaitable = void;
    CoroFrame* frame = nullptr;
    bool await_ready() const noexcept { return false; }
    bool await_suspend(Task::handle h) noexcept {
        frame = h.promise().frame;
        return false;
    }
    CoroFrame& await_resume() const noexcept { return *frame; }
};

inline ThisFrame this_frame() noexcept { return {}; }

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

// ---- the driver, after gen_send_ex / _gen_throw / gen_close --------------------------------------

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

// ---- the Python type --------------------------------------------------------------------------

inline PyObject* coro_send(PyObject* self, PyObject* arg) { return send_or_stop(as_frame(self), arg, false, false); }

inline PyObject* coro_iternext(PyObject* self) {
    PyObject* result;
    if (send_ex(as_frame(self), nullptr, false, false, &result) == PYGEN_RETURN) {
        if (result != Py_None) set_stop_iteration(result);
        Py_CLEAR(result);
    }
    return result;
}

inline PySendResult coro_am_send(PyObject* self, PyObject* arg, PyObject** presult) {
    return send_ex(as_frame(self), arg, false, false, presult);
}

inline PyObject* coro_throw(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs < 1 || nargs > 3) {
        if (nargs < 1) {
            PyErr_Format(PyExc_TypeError, "throw expected at least 1 argument, got %zd", nargs);
        } else {
            PyErr_Format(PyExc_TypeError, "throw expected at most 3 arguments, got %zd", nargs);
        }
        return nullptr;
    }
#if PY_VERSION_HEX >= 0x030C0000
    if (nargs > 1 && PyErr_WarnEx(PyExc_DeprecationWarning,
                                  "the (type, exc, tb) signature of throw() is deprecated, "
                                  "use the single-arg signature instead.",
                                  1) < 0) {
        return nullptr;
    }
#endif
    return throw_into(as_frame(self), args[0], nargs > 1 ? args[1] : nullptr, nargs > 2 ? args[2] : nullptr);
}

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

inline PyObject* coro_await(PyObject* self) { return Py_NewRef(self); }

inline void coro_finalize(PyObject* self) {
    CoroFrame* c = as_frame(self);
    if (c->state == CoroFrame::kFinished) return;
    PreserveError keep_error;
    if (c->state == CoroFrame::kCreated) {
        PyObject* qualname = c->qualname;
        const int w = qualname ? PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "coroutine '%U' was never awaited", qualname)
                               : PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "coroutine '%s' was never awaited",
                                                  c->c_qualname);
        if (w < 0) PyErr_WriteUnraisable(self);
        return;
    }
    Ref result(coro_close(self));
    if (!result) PyErr_WriteUnraisable(self);
}

inline int coro_traverse(PyObject* self, visitproc visit, void* arg) {
    CoroFrame* c = as_frame(self);
    Py_VISIT(c->awaiting);
    Py_VISIT(c->sent);
    Py_VISIT(c->kept);
    Py_VISIT(c->name);
    Py_VISIT(c->qualname);
    for (std::size_t i = 0; i < c->nargs(); ++i) Py_VISIT(c->args[i]);
    return 0;
}

inline int coro_clear(PyObject* self) {
    CoroFrame* c = as_frame(self);
    if (!c->running) clear_body(c);
    Py_CLEAR(c->name);
    Py_CLEAR(c->qualname);
    return 0;
}

inline void coro_dealloc(PyObject* self) {
    CoroFrame* c = as_frame(self);
    PyObject_GC_UnTrack(self);
    if (c->weakrefs) PyObject_ClearWeakRefs(self);
    PyObject_GC_Track(self);
    if (PyObject_CallFinalizerFromDealloc(self) < 0) return;  // resurrected
    PyObject_GC_UnTrack(self);
    clear_body(c);
    Py_CLEAR(c->name);
    Py_CLEAR(c->qualname);
    PyObject_GC_Del(self);
}

inline PyObject* coro_repr(PyObject* self) {
    CoroFrame* c = as_frame(self);
    if (c->qualname) return PyUnicode_FromFormat("<native coroutine object %U at %p>", c->qualname, self);
    return PyUnicode_FromFormat("<native coroutine object %s at %p>", c->c_qualname, self);
}

template <std::size_t Offset>
PyObject*& text_slot(PyObject* self) {
    return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset);
}

template <std::size_t Offset, std::size_t SourceOffset>
PyObject* get_text(PyObject* self, void*) {
    PyObject*& slot = text_slot<Offset>(self);
    if (!slot) {
        const char* source = *reinterpret_cast<const char**>(reinterpret_cast<char*>(self) + SourceOffset);
        slot = PyUnicode_FromString(source);
    }
    return Py_XNewRef(slot);
}

template <std::size_t Offset>
int set_text(PyObject* self, PyObject* value, void* what) {
    if (!value || !PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be set to a string object", static_cast<const char*>(what));
        return -1;
    }
    PyObject*& slot = text_slot<Offset>(self);
    PyObject* old = slot;
    slot = Py_NewRef(value);
    Py_XDECREF(old);
    return 0;
}

inline PyObject* get_cr_await(PyObject* self, void*) {
    PyObject* it = as_frame(self)->awaiting;
    return Py_NewRef(it ? it : Py_None);
}

inline PyObject* get_cr_running(PyObject* self, void*) { return PyBool_FromLong(as_frame(self)->running); }

inline PyObject* get_cr_suspended(PyObject* self, void*) {
    CoroFrame* c = as_frame(self);
    return PyBool_FromLong(c->state == CoroFrame::kStarted && !c->running);
}

// No interpreter frame, code object or origin exists for a native body.
inline PyObject* get_none(PyObject*, void*) { Py_RETURN_NONE; }

inline PyMethodDef coro_methods[] = {
    {"send", coro_send, METH_O, "send(arg) -> send 'arg' into coroutine,\nreturn next iterated value or raise StopIteration."},
    {"throw", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coro_throw)), METH_FASTCALL,
     "throw(value)\nthrow(type[,value[,traceback]])\n\nRaise exception in coroutine, return next iterated value or "
     "raise\nStopIteration."},
    {"close", coro_close, METH_NOARGS, "close() -> raise GeneratorExit inside coroutine."},
    {nullptr, nullptr, 0, nullptr},
};

inline PyGetSetDef coro_getset[] = {
    {"__name__", get_text<offsetof(CoroFrame, name), offsetof(CoroFrame, c_name)>,
     set_text<offsetof(CoroFrame, name)>, nullptr, const_cast<char*>("__name__")},
    {"__qualname__", get_text<offsetof(CoroFrame, qualname), offsetof(CoroFrame, c_qualname)>,
     set_text<offsetof(CoroFrame, qualname)>, nullptr, const_cast<char*>("__qualname__")},
    {"cr_await", get_cr_await, nullptr, "object being awaited on, or None", nullptr},
    {"cr_running", get_cr_running, nullptr, nullptr, nullptr},
    {"cr_suspended", get_cr_suspended, nullptr, nullptr, nullptr},
    {"cr_frame", get_none, nullptr, nullptr, nullptr},
    {"cr_code", get_none, nullptr, nullptr, nullptr},
    {"cr_origin", get_none, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

inline PyAsyncMethods coro_as_async = {coro_await, nullptr, nullptr, coro_am_send};

inline PyTypeObject coro_type = [] {
    PyTypeObject t = blank_type();
    t.tp_name = "zelvar.native_coroutine";
    t.tp_basicsize = offsetof(CoroFrame, args);
    t.tp_itemsize = sizeof(PyObject*);
    t.tp_dealloc = coro_dealloc;
    t.tp_as_async = &coro_as_async;
    t.tp_repr = coro_repr;
    t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
    t.tp_traverse = coro_traverse;
    t.tp_clear = coro_clear;
    t.tp_weaklistoffset = offsetof(CoroFrame, weakrefs);
    t.tp_iternext = coro_iternext;
    t.tp_methods = coro_methods;
    t.tp_getset = coro_getset;
    t.tp_finalize = coro_finalize;
    return t;
}();

inline bool is_native_coroutine(PyObject* o) noexcept { return Py_IS_TYPE(o, &coro_type); }

}  // namespace detail

// Readies the native coroutine type of this module and registers it with
// collections.abc.Coroutine, so asyncio.iscoroutine and create_task accept its objects. Done on
// first use; a module may call it at import to fail early.
inline bool ready_coroutine_type() {
    static bool ready = false;
    if (ready) return true;
    if (PyType_Ready(&detail::coro_type) < 0) return false;
    Ref abc(PyImport_ImportModule("collections.abc"));
    Ref coroutine(abc ? PyObject_GetAttrString(abc.get(), "Coroutine") : nullptr);
    Ref done(coroutine ? PyObject_CallMethod(coroutine.get(), "register", "O", &detail::coro_type) : nullptr);
    if (!done) return false;
    ready = true;
    return true;
}

// A new coroutine object running `body(frame, extra...)`; nothing runs before the first send.
// `name` and `qualname` must outlive the object (literals); `args` are borrowed (null = not
// given) and owned by the object. `extra` values are copied into the C++ frame, so they must not be
// Python references.
template <class... Extra>
PyObject* make_coroutine(const char* name, const char* qualname, std::span<PyObject* const> args,
                         Task (*body)(CoroFrame&, Extra...), std::type_identity_t<Extra>... extra) {
    if (!ready_coroutine_type()) return nullptr;
    const auto n = static_cast<Py_ssize_t>(args.size());
    CoroFrame* c = PyObject_GC_NewVar(CoroFrame, &detail::coro_type, n);
    if (!c) return nullptr;
    c->body = {};
    c->resume_point = {};
    c->awaiting = c->sent = c->kept = c->name = c->qualname = c->weakrefs = nullptr;
    c->c_name = name;
    c->c_qualname = qualname;
    c->state = CoroFrame::kFinished;  // until the body exists: nothing to close or warn about
    c->running = false;
    for (Py_ssize_t i = 0; i < n; ++i) c->args[i] = Py_XNewRef(args[static_cast<std::size_t>(i)]);
    Ref self(c->object());
    PyObject_GC_Track(c->object());
    try {
        c->body = body(*c, extra...).release();
    } catch (...) {
        set_error_from_current_exception();
        return nullptr;
    }
    c->body.promise().frame = c;
    c->resume_point = c->body;
    c->state = CoroFrame::kCreated;
    return self.release();
}

template <class... Extra>
PyObject* make_coroutine(const char* name, const char* qualname, std::initializer_list<PyObject*> args,
                         Task (*body)(CoroFrame&, Extra...), std::type_identity_t<Extra>... extra) {
    return make_coroutine(name, qualname, std::span<PyObject* const>(args.begin(), args.size()), body, extra...);
}

// A coroutine method: its names, its parameters and its body. `check` (optional) vets the bound
// arguments before the coroutine exists, e.g. the type of self.
template <std::size_t N>
struct CoroutineDef {
    const char* name;
    const char* qualname;
    Params<N> params;
    Task (*body)(CoroFrame&);
    bool (*check)(std::span<PyObject* const, N> args) = nullptr;
};

// The NativeBody of a coroutine method (see make_coroutine_function in function.hpp): binds the
// call's arguments by `Def.params` and returns a new coroutine running `Def.body` with them.
template <const auto& Def>
PyObject* coroutine_entry(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    typename std::remove_cvref_t<decltype(Def.params)>::Values values;
    if (!Def.params.bind(args, nargs, kwnames, values)) return nullptr;
    if (Def.check && !Def.check(values)) return nullptr;
    return make_coroutine(Def.name, Def.qualname, std::span<PyObject* const>(values), Def.body);
}

// The coroutine method of `Def`, marked for asyncio.iscoroutinefunction.
template <const auto& Def>
PyObject* make_coroutine_function(const char* doc, const char* module_name) {
    return make_coroutine_function(FunctionSpec{Def.name, Def.qualname, doc, coroutine_entry<Def>}, module_name);
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
        call = Ref(PyObject_CallFunctionObjArgs(aexit, PyExceptionInstance_Class(exc), exc,
                                                tb ? tb.get() : Py_None, nullptr));
    }
    Ref suppress;
    try {
        suppress = co_await await(std::move(call));
    } catch (...) {
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
