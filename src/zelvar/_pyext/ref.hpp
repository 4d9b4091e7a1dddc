// Owning reference to a Python object. Borrowed pointers stay raw `PyObject*`.
#pragma once

#include "python.hpp"

namespace zelvar::py {

class Ref {
  public:
    Ref() noexcept = default;
    // Takes over a new (owned) reference; null is allowed.
    explicit Ref(PyObject* owned) noexcept : p_(owned) {}
    static Ref borrow(PyObject* o) noexcept {
        Py_XINCREF(o);
        return Ref(o);
    }

    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Ref& operator=(Ref&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Gives the reference to the caller.
    PyObject* release() noexcept {
        PyObject* p = p_;
        p_ = nullptr;
        return p;
    }
    // Drops the old reference only after storing the new one, so a destructor that looks at
    // this slot never sees a dangling pointer.
    void reset(PyObject* owned = nullptr) noexcept {
        PyObject* old = p_;
        p_ = owned;
        Py_XDECREF(old);
    }
    // A new strong reference for a caller that keeps its own.
    PyObject* new_ref() const noexcept {
        Py_XINCREF(p_);
        return p_;
    }

  private:
    PyObject* p_ = nullptr;
};

}  // namespace zelvar::py
