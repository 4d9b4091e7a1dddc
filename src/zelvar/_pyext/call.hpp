// Calling a callback once per message, for the consumers that do it millions of times a second.
#pragma once

#include <cstddef>
#include <cstring>

#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

namespace detail {
// The type slot the interpreter gives every Python class that defines __call__, and that name.
inline ternaryfunc g_python_class_call = nullptr;
inline PyObject* g_call_name = nullptr;
}  // namespace detail

// Once per module, at import (with the interpreter lock): learns that slot from a throwaway class.
// False with an exception on failure.
inline bool prepare_calls() {
    if (detail::g_python_class_call) return true;
    if (!detail::g_call_name && !(detail::g_call_name = PyUnicode_InternFromString("__call__"))) return false;
    Ref probe(
        PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(){sO}", "probe", "__call__", Py_None));
    if (!probe) return false;
    detail::g_python_class_call = reinterpret_cast<PyTypeObject*>(probe.get())->tp_call;
    return true;
}

// The function a Python class's __call__ is for an instance of `type`, looked up as the
// interpreter does (on the type, through its cache, so a class changed since is seen at once);
// null when the type's call is not a Python-level __call__ or that is no Python function. Borrowed.
inline PyObject* class_call_function(PyTypeObject* type) {
    if (!detail::g_python_class_call || type->tp_call != detail::g_python_class_call) return nullptr;
#if ZELVAR_PRIVATE_API
    PyObject* method = _PyType_Lookup(type, detail::g_call_name);
#else
    // The same lookup without the cache: the first class dict along the MRO that has the name.
    PyObject* method = nullptr;
    PyObject* mro = type->tp_mro;
    for (Py_ssize_t i = 0; mro && !method && i < PyTuple_GET_SIZE(mro); ++i) {
        auto* base = reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i));
#if PY_VERSION_HEX >= 0x030C0000
        Ref dict(PyType_GetDict(base));
#else
        Ref dict = Ref::borrow(base->tp_dict);
#endif
        method = dict ? PyDict_GetItemWithError(dict.get(), detail::g_call_name) : nullptr;  // the class keeps it
    }
    if (!method) PyErr_Clear();
#endif
    return method && PyFunction_Check(method) ? method : nullptr;
}

// callable(arg). For an instance of a Python class whose __call__ is a Python function, the
// interpreter's own path packs the argument into a tuple and binds the method on every call; this
// looks __call__ up the same way (class_call_function) and calls the function with the instance and
// the argument, with no tuple and no bound method made. Every other callable is called the usual way.
inline PyObject* call_one(PyObject* callable, PyObject* arg) {
    if (PyObject* method = class_call_function(Py_TYPE(callable))) {
        Ref keep = Ref::borrow(method);  // the call may rebind the class attribute
        PyObject* args[] = {callable, arg};
        return PyObject_Vectorcall(method, args, 2, nullptr);
    }
    return PyObject_CallOneArg(callable, arg);
}

// Whether calling `callable` runs bytecode at once: a Python function, a method of one, or an
// instance whose class's __call__ is one, none of them a generator or coroutine function (calling
// those only makes an object). Bytecode hands the interpreter lock over when another thread has
// asked for it; a call that runs none never does.
inline bool runs_bytecode(PyObject* callable) {
    PyObject* f = callable;
    if (PyMethod_Check(f)) {
        f = PyMethod_GET_FUNCTION(f);
    } else if (PyObject* method = class_call_function(Py_TYPE(f))) {
        f = method;
    }
    if (!PyFunction_Check(f)) return false;
#if ZELVAR_PRIVATE_API
    const int flags = reinterpret_cast<PyCodeObject*>(PyFunction_GET_CODE(f))->co_flags;
#else
    Ref flags_attr(PyObject_GetAttrString(PyFunction_GET_CODE(f), "co_flags"));
    const long flags = flags_attr ? PyLong_AsLong(flags_attr.get()) : -1;
    if (flags == -1) {
        PyErr_Clear();
        return true;  // unknown: taken as a plain function's
    }
#endif
    return !(flags & (CO_GENERATOR | CO_COROUTINE | CO_ASYNC_GENERATOR | CO_ITERABLE_COROUTINE));
}

// The bytes objects a consumer hands to its callback one message at a time: the previous one again
// when nothing but this holds it any more and the size is the same, which saves an allocation and a
// release per message and cannot be told apart from a new object (no one else can see it). Lives
// only while the interpreter lock is held.
class MessageBytes {
  public:
    // A new reference to bytes holding the message, or null with an exception.
    PyObject* make(const char* data, std::size_t size) {
        PyObject* last = last_.get();
        // Sizes 0 and 1 may be the interpreter's shared objects: never reused.
        if (last && size > 1 && Py_REFCNT(last) == 1 && PyBytes_GET_SIZE(last) == static_cast<Py_ssize_t>(size)) {
            std::memcpy(PyBytes_AS_STRING(last), data, size);
            forget_hash(last);
            return Py_NewRef(last);
        }
        last_.reset(PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(size)));
        return last_ ? Py_NewRef(last_.get()) : nullptr;
    }

  private:
    // The hash of the old contents, if anything asked for it, is stored in the object.
    static void forget_hash(PyObject* bytes) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        reinterpret_cast<PyBytesObject*>(bytes)->ob_shash = -1;
#pragma GCC diagnostic pop
    }

    Ref last_;
};

}  // namespace zelvar::py
