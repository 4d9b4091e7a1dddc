// A native function object that behaves like a Python function: binds as a method through
// __get__, is called through vectorcall (with self as the first argument when bound), and carries
// __name__, __qualname__, __doc__, __module__, __defaults__ and an instance __dict__. A coroutine
// function (make_coroutine_function) is one whose body returns a native coroutine (coro.hpp).
#pragma once

#include <array>
#include <cstddef>

#include "python.hpp"
#include "ref.hpp"
#include "types.hpp"

namespace zelvar::py {

// The body: `args[0]` is self for methods; kwnames as in vectorcall. `data` is the pointer given
// at creation (for example a method-table slot).
using NativeBody = PyObject* (*)(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void* data);

struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    NativeBody body;
    void* data;
    PyObject* name;
    PyObject* qualname;
    PyObject* doc;
    PyObject* module;
    PyObject* defaults;
    PyObject* dict;
};

namespace detail {

inline PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    auto* f = reinterpret_cast<FunctionObject*>(self);
    return f->body(args, PyVectorcall_NARGS(nargsf), kwnames, f->data);
}

inline PyObject* function_get(PyObject* self, PyObject* obj, PyObject*) {
    if (!obj || obj == Py_None) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

// The references a function object owns: visited by the collector, dropped by clear.
inline std::array<PyObject**, 6> owned_references(FunctionObject* f) {
    return {&f->name, &f->qualname, &f->doc, &f->module, &f->defaults, &f->dict};
}

inline int function_traverse(PyObject* self, visitproc visit, void* arg) {
    for (PyObject** field : owned_references(reinterpret_cast<FunctionObject*>(self))) Py_VISIT(*field);
    return 0;
}

inline int function_clear(PyObject* self) {
    for (PyObject** field : owned_references(reinterpret_cast<FunctionObject*>(self))) Py_CLEAR(*field);
    return 0;
}

inline void function_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    function_clear(self);
    PyObject_GC_Del(self);
}

inline PyObject* function_repr(PyObject* self) {
    auto* f = reinterpret_cast<FunctionObject*>(self);
    return PyUnicode_FromFormat("<native function %U at %p>", f->qualname, self);
}

// Writable text attributes, as on Python functions.
template <std::size_t Offset>
PyObject* get_slot(PyObject* self, void*) {
    PyObject* v = *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset);
    return Py_NewRef(v ? v : Py_None);
}

template <std::size_t Offset, bool StrOnly>
int set_slot(PyObject* self, PyObject* value, void*) {
    if (StrOnly && (!value || !PyUnicode_Check(value))) {
        PyErr_SetString(PyExc_TypeError, "__name__ must be set to a string object");
        return -1;
    }
    PyObject*& slot = *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset);
    PyObject* old = slot;
    slot = Py_XNewRef(value == Py_None && !StrOnly ? nullptr : value);
    Py_XDECREF(old);
    return 0;
}

inline PyGetSetDef function_getset[] = {
    {"__name__", get_slot<offsetof(FunctionObject, name)>, set_slot<offsetof(FunctionObject, name), true>, nullptr,
     nullptr},
    {"__qualname__", get_slot<offsetof(FunctionObject, qualname)>, set_slot<offsetof(FunctionObject, qualname), true>,
     nullptr, nullptr},
    {"__doc__", get_slot<offsetof(FunctionObject, doc)>, set_slot<offsetof(FunctionObject, doc), false>, nullptr,
     nullptr},
    {"__module__", get_slot<offsetof(FunctionObject, module)>, set_slot<offsetof(FunctionObject, module), false>,
     nullptr, nullptr},
    {"__defaults__", get_slot<offsetof(FunctionObject, defaults)>, set_slot<offsetof(FunctionObject, defaults), false>,
     nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

inline PyTypeObject function_type = make_type<FunctionObject>({
    .name = "zelvar.native_function",
    .flags = Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR,
    .getset = function_getset,
    .dealloc = function_dealloc,
    .gc = {function_traverse, function_clear},
    .repr = function_repr,
    .call = PyVectorcall_Call,
    .descr_get = function_get,
    .dictoffset = offsetof(FunctionObject, dict),
    .vectorcall_offset = offsetof(FunctionObject, vectorcall),
});

}  // namespace detail

struct FunctionDef {
    const char* name;
    const char* qualname;
    const char* doc;  // may be null
    NativeBody body;
    void* data = nullptr;
    PyObject* defaults = nullptr;  // borrowed tuple or null
};

// A new function object of `module_name`. The function type is per module: every zelvar module that
// includes this header has its own copy of the type object, readied at its first use here.
inline PyObject* make_function(const FunctionDef& def, const char* module_name) {
    if (PyType_Ready(&detail::function_type) < 0) return nullptr;
    Ref self(reinterpret_cast<PyObject*>(PyObject_GC_New(FunctionObject, &detail::function_type)));
    if (!self) return nullptr;
    auto* f = reinterpret_cast<FunctionObject*>(self.get());
    f->vectorcall = detail::function_vectorcall;
    f->body = def.body;
    f->data = def.data;
    f->name = PyUnicode_InternFromString(def.name);
    f->qualname = PyUnicode_FromString(def.qualname);
    f->doc = def.doc ? PyUnicode_FromString(def.doc) : nullptr;
    f->module = PyUnicode_FromString(module_name);
    f->defaults = def.defaults ? Py_NewRef(def.defaults) : nullptr;
    f->dict = nullptr;
    PyObject_GC_Track(self.get());
    if (!f->name || !f->qualname || (def.doc && !f->doc) || !f->module) return nullptr;
    return self.release();
}

// Marks `function` as a coroutine function: asyncio.iscoroutinefunction reads `_is_coroutine`
// (3.10 to 3.13, on the function and through bound methods), inspect.iscoroutinefunction the
// marker of inspect.markcoroutinefunction (3.12+). A Python without one of them simply lacks it.
inline bool mark_coroutine_function(PyObject* function) {
    Ref coroutines(PyImport_ImportModule("asyncio.coroutines"));
    if (!coroutines) return false;
    Ref marker(PyObject_GetAttrString(coroutines.get(), "_is_coroutine"));
    if (marker) {
        if (PyObject_SetAttrString(function, "_is_coroutine", marker.get()) < 0) return false;
    } else if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
        PyErr_Clear();
    } else {
        return false;
    }
#if PY_VERSION_HEX >= 0x030C0000
    Ref inspect(PyImport_ImportModule("inspect"));
    Ref marked(inspect ? PyObject_CallMethod(inspect.get(), "markcoroutinefunction", "O", function) : nullptr);
    if (!marked) return false;
#endif
    return true;
}

// A coroutine method (or function): `def.body` checks the arguments and returns a new native
// coroutine, e.g. `py::coroutine_entry<kDef>` of coro.hpp.
inline PyObject* make_coroutine_function(const FunctionDef& def, const char* module_name) {
    Ref function(make_function(def, module_name));
    if (!function || !mark_coroutine_function(function.get())) return nullptr;
    return function.release();
}

// True when `attribute` (as looked up on an instance) is `function` itself, plain or bound.
inline bool is_same_function(PyObject* attribute, PyObject* function) {
    if (attribute == function) return true;
    return PyMethod_Check(attribute) && PyMethod_GET_FUNCTION(attribute) == function;
}

// find_override (types.hpp) for a method that is one of our function objects, `own`.
inline PyObject* find_override(PyObject* self, const char* name, PyObject* own) {
    return find_override_if(self, name, [own](PyObject* attribute) { return is_same_function(attribute, own); });
}

}  // namespace zelvar::py
