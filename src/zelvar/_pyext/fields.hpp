// Native fields of extension types, described once: properties and pickle states are both made
// from these descriptions, so both convert values the same way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert.hpp"
#include "python.hpp"

namespace zelvar::py {

struct Field {
    const char* name;
    std::size_t offset;
    const char* doc;
    PyObject* (*get)(const void* slot);       // new reference, or null with an exception
    int (*set)(void* slot, PyObject* value);  // null value: delete; 0, or -1 keeping the old value
    bool object = false;                      // the slot holds a PyObject* (None when empty)
    bool added = false;                       // joined the pickle state after the class's first layout
};

// Accessors for the usual slot types.
namespace field {

inline int no_delete() {
    PyErr_SetString(PyExc_NotImplementedError, "__del__");
    return -1;
}

inline PyObject* get_bool(const void* s) { return PyBool_FromLong(*static_cast<const bool*>(s)); }
inline int set_bool(void* s, PyObject* v) {
    if (!v) return no_delete();
    const int t = truth(v);
    if (t < 0) return -1;
    *static_cast<bool*>(s) = t != 0;
    return 0;
}

// An int used as a flag: read as a bool, written from a truth value.
inline PyObject* get_flag(const void* s) { return PyBool_FromLong(*static_cast<const int*>(s) != 0); }
inline int set_flag(void* s, PyObject* v) {
    if (!v) return no_delete();
    const int t = truth(v);
    if (t < 0) return -1;
    *static_cast<int*>(s) = t;
    return 0;
}

inline PyObject* get_int32(const void* s) { return PyLong_FromLong(*static_cast<const int32_t*>(s)); }
inline int set_int32(void* s, PyObject* v) {
    int32_t x;
    if (!v) return no_delete();
    if (!to_int32(v, x)) return -1;
    *static_cast<int32_t*>(s) = x;
    return 0;
}

inline PyObject* get_size(const void* s) { return PyLong_FromSize_t(*static_cast<const std::size_t*>(s)); }
inline int set_size(void* s, PyObject* v) {
    std::size_t x;
    if (!v) return no_delete();
    if (!to_size_t(v, x)) return -1;
    *static_cast<std::size_t*>(s) = x;
    return 0;
}

inline PyObject* get_object(const void* s) {
    PyObject* o = *static_cast<PyObject* const*>(s);
    return Py_NewRef(o ? o : Py_None);
}
inline void store_object(void* s, PyObject* v) {
    PyObject*& slot = *static_cast<PyObject**>(s);
    PyObject* old = slot;
    slot = Py_NewRef(v);
    Py_XDECREF(old);
}
inline int set_object(void* s, PyObject* v) {
    store_object(s, v ? v : Py_None);
    return 0;
}

// Exactly str or None; deleting stores None.
inline int set_text(void* s, PyObject* v) {
    if (!v) v = Py_None;
    if (!check_str_value(v)) return -1;
    store_object(s, v);
    return 0;
}

}  // namespace field

inline void* slot_of(PyObject* self, const Field& f) { return reinterpret_cast<char*>(self) + f.offset; }
inline PyObject* get_field(PyObject* self, const Field& f) { return f.get(slot_of(self, f)); }
inline int set_field(PyObject* self, const Field& f, PyObject* value) { return f.set(slot_of(self, f), value); }

// Property slots: the closure is the `const Field*`.
inline PyObject* field_getter(PyObject* self, void* closure) {
    return get_field(self, *static_cast<const Field*>(closure));
}
inline int field_setter(PyObject* self, PyObject* value, void* closure) {
    return set_field(self, *static_cast<const Field*>(closure), value);
}

// The PyGetSetDef table (null-terminated) of a field list, built at compile time.
template <std::size_t N>
struct Properties {
    PyGetSetDef defs[N + 1];
    explicit constexpr Properties(const Field (&fields)[N]) : Properties(fields, N) {}
    constexpr Properties(const Field* fields, std::size_t) : defs{} {
        for (std::size_t i = 0; i < N; ++i) {
            defs[i] = {fields[i].name, field_getter, field_setter, fields[i].doc, const_cast<Field*>(&fields[i])};
        }
        defs[N] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    }
};

}  // namespace zelvar::py
