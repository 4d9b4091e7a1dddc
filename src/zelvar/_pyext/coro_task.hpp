// The task side of the coroutine bridge: `py::Task`, the C++20 coroutine type of a body and of its
// sub-bodies; `CoroFrame`, the native coroutine object as a body sees it; `Kept` and `this_frame()`.
// What each mirrors in CPython:
//   CoroFrame          PyCoroObject: `awaiting` is cr_await (gi_yieldfrom), `state` the frame state
//                      (created / suspended / cleared), `running` gi_running.
//   Task               the body's frame that gen_send_ex resumes; its promise holds the return value
//                      or the saved exception the frame would unwind with.
//   co_await sub_body  `await` of a nested coroutine: one chain of frames, so send/throw reach the
//                      innermost suspension as they do through gi_yieldfrom.
#pragma once

#include <concepts>
#include <coroutine>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "errors.hpp"
#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

struct CoroFrame;
class Task;

namespace detail {

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

    PyObject_VAR_HEAD Task::handle body;   // the outermost body; null once finished
    std::coroutine_handle<> resume_point;  // the innermost body, where the next resumption goes
    PyObject* awaiting;                    // the iterator being awaited (cr_await)
    PyObject* sent;                        // what the pending co_await receives; null = raise the error
    PyObject* kept;                        // list of objects kept for the body, or null
    PyObject* name;                        // created from c_name when first asked for
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

}  // namespace zelvar::py
