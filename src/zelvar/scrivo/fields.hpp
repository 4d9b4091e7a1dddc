// Native fields of the logging module's types, described once: the properties and the pickle
// states are both made from these descriptions, so both convert values the same way.
#pragma once

#include <cstddef>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

enum class FieldKind {
    Bool,   // bool; set by truth value
    Level,  // int32_t; Level members out, level-from-Python in
    Size,   // size_t
    Int32,  // int32_t colour code
    Text,   // PyObject*: exactly str or None; deleting sets None
};

struct Field {
    const char* name;
    FieldKind kind;
    std::size_t offset;
    const char* doc;
};

// New reference to the field's Python value.
PyObject* get_field(PyObject* self, const Field& field);
// Converts and stores `value`; null deletes. 0 or -1 with the exact error; the old value stays on
// error.
int set_field(PyObject* self, const Field& field, PyObject* value);

// Property slots: the closure is the `const Field*`.
PyObject* field_getter(PyObject* self, void* closure);
int field_setter(PyObject* self, PyObject* value, void* closure);

// The PyGetSetDef table (null-terminated) of a field list, built at compile time.
template <std::size_t N>
struct Properties {
    PyGetSetDef defs[N + 1];
    explicit constexpr Properties(const Field (&fields)[N]) : defs{} {
        for (std::size_t i = 0; i < N; ++i) {
            defs[i] = {fields[i].name, field_getter, field_setter, fields[i].doc,
                       const_cast<Field*>(&fields[i])};
        }
        defs[N] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    }
};

// Releases the text fields of an object being destroyed.
template <std::size_t N>
void clear_text_fields(PyObject* self, const Field (&fields)[N]) {
    for (const Field& f : fields) {
        if (f.kind == FieldKind::Text) {
            PyObject** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + f.offset);
            Py_CLEAR(*slot);
        }
    }
}

}  // namespace zelvar::scrivo
