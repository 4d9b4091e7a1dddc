// Static extension types and their native method tables. An object with a table starts with
// PyObject_HEAD, then the table pointer, then its fields; the table (a struct of function pointers
// in table order) is published as a capsule under `__pyx_vtable__` in the type's dict.
#pragma once

#include <cstddef>

#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

inline constexpr const char* kVtableKey = "__pyx_vtable__";

// A zeroed static type object with its header set as PyVarObject_HEAD_INIT(NULL, 0) would.
inline PyTypeObject blank_type() {
    PyTypeObject t{};
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(&t), 1);
    return t;
}

// What the collector calls on a type's objects. A type given a traverse is one it tracks: CPython
// wants Py_TPFLAGS_HAVE_GC and tp_traverse together, so the flag follows from it.
struct GcSlots {
    traverseproc traverse = nullptr;
    inquiry clear = nullptr;
};

// A static type as a description of what it has: every type object of every module is built from
// one (`PyTypeObject T = py::make_type<FooObject>({.name = ..., .methods = ..., ...})`, designated
// fields in this order); whatever is left out stays zero, as in a hand-written static type.
struct TypeSpec {
    const char* name;
    Py_ssize_t basicsize = 0;  // 0: the size of the object type make_type is given
    Py_ssize_t itemsize = 0;
    unsigned long flags = 0;  // besides Py_TPFLAGS_DEFAULT, and Py_TPFLAGS_HAVE_GC with `gc`
    const char* doc = nullptr;
    PyTypeObject* base = nullptr;
    PyMethodDef* methods = nullptr;
    PyMemberDef* members = nullptr;
    PyGetSetDef* getset = nullptr;
    newfunc new_ = nullptr;
    initproc init = nullptr;
    destructor dealloc = nullptr;
    destructor finalize = nullptr;
    GcSlots gc = {};
    reprfunc repr = nullptr;
    ternaryfunc call = nullptr;
    iternextfunc iternext = nullptr;
    descrgetfunc descr_get = nullptr;
    PyAsyncMethods* as_async = nullptr;
    Py_ssize_t weaklistoffset = 0;
    Py_ssize_t dictoffset = 0;
    Py_ssize_t vectorcall_offset = 0;
};

// The type of objects laid out as `Object` (or `type_spec.basicsize` bytes, where given).
template <class Object>
PyTypeObject make_type(const TypeSpec& type_spec) {
    PyTypeObject t = blank_type();
    t.tp_name = type_spec.name;
    t.tp_basicsize = type_spec.basicsize ? type_spec.basicsize : static_cast<Py_ssize_t>(sizeof(Object));
    t.tp_itemsize = type_spec.itemsize;
    t.tp_flags = Py_TPFLAGS_DEFAULT | type_spec.flags | (type_spec.gc.traverse ? Py_TPFLAGS_HAVE_GC : 0);
    t.tp_doc = type_spec.doc;
    t.tp_base = type_spec.base;
    t.tp_methods = type_spec.methods;
    t.tp_members = type_spec.members;
    t.tp_getset = type_spec.getset;
    t.tp_new = type_spec.new_;
    t.tp_init = type_spec.init;
    t.tp_dealloc = type_spec.dealloc;
    t.tp_finalize = type_spec.finalize;
    t.tp_traverse = type_spec.gc.traverse;
    t.tp_clear = type_spec.gc.clear;
    t.tp_repr = type_spec.repr;
    t.tp_call = type_spec.call;
    t.tp_iternext = type_spec.iternext;
    t.tp_descr_get = type_spec.descr_get;
    t.tp_as_async = type_spec.as_async;
    t.tp_weaklistoffset = type_spec.weaklistoffset;
    t.tp_dictoffset = type_spec.dictoffset;
    t.tp_vectorcall_offset = type_spec.vectorcall_offset;
    return t;
}

// Readies `type`, publishes `vtable` (when given) and binds the type in `module` as `name`.
inline bool add_type(PyObject* module, PyTypeObject* type, const char* name, void* vtable = nullptr) {
    if (PyType_Ready(type) < 0) return false;
    if (vtable) {
        Ref capsule(PyCapsule_New(vtable, nullptr, nullptr));
        if (!capsule || PyDict_SetItemString(type->tp_dict, kVtableKey, capsule.get()) < 0) return false;
        PyType_Modified(type);
    }
    return PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

// The table a type publishes in its own dict: null with RuntimeError otherwise.
inline void* get_vtable(PyTypeObject* type) {
    PyObject* capsule = type->tp_dict ? PyDict_GetItemString(type->tp_dict, kVtableKey) : nullptr;
    void* table = capsule && PyCapsule_IsValid(capsule, nullptr) ? PyCapsule_GetPointer(capsule, nullptr) : nullptr;
    if (!table) PyErr_SetString(PyExc_RuntimeError, "invalid vtable found for imported type");
    return table;
}

// Imports `module_name.type_name` and checks that its instances are at least `size` bytes: a
// smaller layout cannot hold the fields native code reads (ValueError); a larger one is only
// warned about, since the fields we know are still where we expect them.
inline PyTypeObject* import_type(const char* module_name, const char* type_name, std::size_t size) {
    Ref module(PyImport_ImportModule(module_name));
    if (!module) return nullptr;
    Ref type(PyObject_GetAttrString(module.get(), type_name));
    if (!type) return nullptr;
    if (!PyType_Check(type.get())) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module_name, type_name);
        return nullptr;
    }
    auto* t = reinterpret_cast<PyTypeObject*>(type.get());
    const auto basic = static_cast<std::size_t>(t->tp_basicsize);
    if (basic < size) {
        PyErr_Format(PyExc_ValueError,
                     "%.200s.%.200s size changed, may indicate binary incompatibility. Expected %zd from C "
                     "header, got %zd from PyObject",
                     module_name, type_name, size, basic);
        return nullptr;
    }
    if (basic > size &&
        PyErr_WarnFormat(nullptr, 0,
                         "%.200s.%.200s size changed, may indicate binary incompatibility. Expected %zd from C "
                         "header, got %zd from PyObject",
                         module_name, type_name, size, basic) < 0) {
        return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(type.release());
}

// Types whose construction cannot be replayed from a state refuse pickling from both hooks.
inline PyObject* refuse_pickle(PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "no default __reduce__ due to non-trivial __cinit__");
    return nullptr;
}

#define ZELVAR_REFUSE_PICKLE_METHODS                                     \
    {"__reduce__", ::zelvar::py::refuse_pickle, METH_NOARGS, nullptr}, { \
        "__setstate__", ::zelvar::py::refuse_pickle, METH_O, nullptr     \
    }

// Binds `value` as `name` in a static type's own dict (setattr refuses static types).
inline bool set_type_attribute(PyTypeObject* type, const char* name, PyObject* value) {
    if (PyDict_SetItemString(type->tp_dict, name, value) < 0) return false;
    PyType_Modified(type);
    return true;
}

// The dispatch argument of a native method-table entry that a Python subclass may override: the
// tables carry it as an int, 0 meaning "run the subclass's override when there is one".
enum Dispatch : int { kHonourOverride = 0, kNativeOnly = 1 };

// For a native-level call of a method that a Python subclass may override: the override as a new
// reference, or null when `self`'s attribute is still our own (`is_own(attribute)`), or on error
// with the exception set. A static type's own instance cannot carry an override: no lookup then.
template <class IsOwn>
PyObject* find_override_if(PyObject* self, const char* name, IsOwn is_own) {
    PyTypeObject* type = Py_TYPE(self);
    if (!type->tp_dictoffset && !(type->tp_flags & Py_TPFLAGS_HEAPTYPE)) return nullptr;
    Ref attribute(PyObject_GetAttrString(self, name));
    if (!attribute || is_own(attribute.get())) return nullptr;
    return attribute.release();
}

// The same for a method implemented by the C function `impl`.
inline PyObject* find_override(PyObject* self, const char* name, PyCFunction impl) {
    return find_override_if(self, name, [impl](PyObject* attribute) {
        return PyCFunction_Check(attribute) && PyCFunction_GET_FUNCTION(attribute) == impl;
    });
}

// The same for a fastcall method with keywords.
inline PyObject* find_override(PyObject* self, const char* name,
                               PyObject* (*impl)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)) {
    return find_override(self, name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(impl)));
}

// The end of every tp_dealloc of our static types. A Python subclass's instance comes here
// through the interpreter's subtype dealloc, which drops the reference to the heap type itself.
inline void free_object(PyObject* self) { Py_TYPE(self)->tp_free(self); }

}  // namespace zelvar::py
