// Error handling at the boundary between C++ and the interpreter: exact messages, the mapping of
// C++ exceptions to Python ones, traceback entries for native frames and unraisable reports.
#pragma once

#include <exception>
#include <ios>
#include <new>
#include <stdexcept>
#include <typeinfo>
#include <utility>

#include <zelvar/forced_unwind.hpp>

#include "python.hpp"

#include <frameobject.h>
#include "ref.hpp"

namespace zelvar::py {

namespace detail {

// A Python error taken out of the thread state, to be raised again later.
struct SavedError {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* tb = nullptr;

    SavedError() noexcept = default;
    SavedError(SavedError&& o) noexcept
        : type(std::exchange(o.type, nullptr)),
          value(std::exchange(o.value, nullptr)),
          tb(std::exchange(o.tb, nullptr)) {}
    SavedError& operator=(SavedError&&) = delete;
    ~SavedError() {
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(tb);
    }
    void fetch() noexcept { PyErr_Fetch(&type, &value, &tb); }
    void restore() noexcept {
        PyErr_Restore(type, value, tb);
        type = value = tb = nullptr;
    }
};

// Keeps the error being raised (if any) across code that may call into Python.
struct PreserveError {
    SavedError saved;
    PreserveError() noexcept { saved.fetch(); }
    ~PreserveError() {
        if (saved.type) saved.restore();
    }
};

}  // namespace detail

// Thrown by C++ code that found a Python exception already set; the boundary leaves it as is.
struct ErrorAlreadySet {};

[[noreturn]] inline void throw_if_error() { throw ErrorAlreadySet{}; }

using zelvar::rethrow_forced_unwind;

// The agreed mapping of C++ exceptions to Python ones, the first that `e` is an instance of;
// RuntimeError for any other.
template <class E>
bool is_a(const std::exception& e) noexcept {
    return dynamic_cast<const E*>(&e) != nullptr;
}
inline PyObject* python_type_of(const std::exception& e) noexcept {
    static const struct {
        bool (*is)(const std::exception&) noexcept;
        PyObject* const* type;
    } kMapping[] = {
        {is_a<std::bad_alloc>, &PyExc_MemoryError},       {is_a<std::bad_cast>, &PyExc_TypeError},
        {is_a<std::bad_typeid>, &PyExc_TypeError},        {is_a<std::domain_error>, &PyExc_ValueError},
        {is_a<std::invalid_argument>, &PyExc_ValueError}, {is_a<std::ios_base::failure>, &PyExc_OSError},
        {is_a<std::out_of_range>, &PyExc_IndexError},     {is_a<std::overflow_error>, &PyExc_OverflowError},
        {is_a<std::range_error>, &PyExc_ArithmeticError}, {is_a<std::underflow_error>, &PyExc_ArithmeticError},
    };
    for (const auto& m : kMapping) {
        if (m.is(e)) return *m.type;
    }
    return PyExc_RuntimeError;
}

// Translates the exception being handled into the Python one of the agreed mapping. Call only
// inside a `catch`, after rethrow_forced_unwind. A Python exception raised on the way (ErrorAlreadySet) is kept.
inline void set_error_from_current_exception() noexcept {
    try {
        throw;
    } catch (const ErrorAlreadySet&) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error return without exception set");
    } catch (const std::exception& e) {
        PyErr_SetString(python_type_of(e), e.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "Unknown exception");
    }
}

// Raises exception(message) in place of the current exception, which becomes its __context__ (and
// its __cause__ with `as_cause`): `raise X` (`raise X from e`) inside an except block.
inline void raise_instead(PyObject* exception, const char* message, bool as_cause = false) noexcept {
    PyObject *type, *old, *tb;
    PyErr_Fetch(&type, &old, &tb);
    PyErr_NormalizeException(&type, &old, &tb);
    if (tb) {
        PyException_SetTraceback(old, tb);
        Py_DECREF(tb);
    }
    Py_XDECREF(type);
    PyErr_SetString(exception, message);
    PyObject *new_type, *value, *new_tb;
    PyErr_Fetch(&new_type, &value, &new_tb);
    PyErr_NormalizeException(&new_type, &value, &new_tb);
    if (old && value) {
        if (as_cause) PyException_SetCause(value, Py_NewRef(old));
        PyException_SetContext(value, old);  // steals
    } else {
        Py_XDECREF(old);
    }
    PyErr_Restore(new_type, value, new_tb);
}

// Runs `body` (returning int) and turns any C++ exception into a Python exception and -1, so no
// exception crosses into the interpreter. Only the end of the thread passes through.
template <class F>
int guard(F&& body) {
    try {
        return body();
    } catch (...) {
        rethrow_forced_unwind();
        set_error_from_current_exception();
        return -1;
    }
}

// The None-text error: a None where a text is about to be encoded.
inline void set_none_text_error(const char* attribute = "encode") noexcept {
    PyErr_Format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", attribute);
}

// Adds a frame named `qualname` (e.g. "zelvar.scrivo.scrivo.get_logger") to the traceback of the
// exception being raised, through public API only.
inline void add_traceback(const char* qualname, const char* filename, int line = 0) noexcept {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    Ref globals(PyDict_New());
    Ref code(globals ? reinterpret_cast<PyObject*>(PyCode_NewEmpty(filename, qualname, line)) : nullptr);
    Ref frame(code ? reinterpret_cast<PyObject*>(PyFrame_New(
                         PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code.get()), globals.get(), nullptr))
                   : nullptr);
    if (!frame) {
        // Losing the extra frame is better than losing the original exception.
        PyErr_Clear();
        PyErr_Restore(type, value, tb);
        return;
    }
    PyErr_Restore(type, value, tb);
    PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get()));
}

// Hands the current exception to sys.unraisablehook with `where` as a str context (None when no str
// can be made), and nothing else: a hook the user set decides what is shown.
inline void hand_to_unraisablehook(const char* where) noexcept {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    Ref context(PyUnicode_FromString(where));
    PyErr_Restore(type, value, tb);
    PyErr_WriteUnraisable(context ? context.get() : Py_None);
}

// Reports the current exception where it cannot be raised (threads, destructors): prints it with
// its traceback, then hands it to sys.unraisablehook with `qualname` as a str context.
inline void write_unraisable(const char* qualname) noexcept {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    Py_XINCREF(type);
    Py_XINCREF(value);
    Py_XINCREF(tb);
    PyErr_Restore(type, value, tb);
    PyErr_PrintEx(0);
    PyErr_Restore(type, value, tb);
    hand_to_unraisablehook(qualname);
}

}  // namespace zelvar::py
