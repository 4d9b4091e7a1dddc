// Pickling of value types: `__reduce__`/`__setstate__` on the class and one module-level unpickle
// function per class, all made from one description of the class's state. The state is a tuple of
// the fields in ascending order of name; a layout checksum guards it. A class that gained fields
// keeps its first layout and names a wider one: objects whose added fields are all None are written
// in the first layout (so readers that predate the fields load them), the others in the wider one,
// and either is read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "args.hpp"
#include "convert.hpp"
#include "digest.hpp"
#include "fields.hpp"
#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

struct PickleDef {
    PyTypeObject* type;         // the class that defines the hooks
    const char* unpickle_name;  // "__pyx_unpickle_<class>", looked up in the module's globals
    const char* unpickle_doc;
    const Field* const* state;  // the state's fields, in ascending order of name
    std::size_t size;
    long long checksums[3];            // SHA-256, SHA-1 and MD5 prefixes of the joined names; the first is written
    const char* members;               // the names joined by ", ", for the checksum error
    PyObject* (*module)();             // the module holding the unpickle function
    const PickleDef* wider = nullptr;  // the layout with the fields added since (object fields only)
};

// A layout made at import from the class's fields instead of written out: the state in ascending
// order of name, the names joined for the checksum error, and the checksums, which are prefixes of
// digests of the names joined by single spaces (what the writer of the first pickles computed).
struct LayoutStore {
    std::vector<const Field*> state;
    std::string members;
};

// Fills `def`'s state, member list and checksums from `fields` (in any order); `store` holds them
// for as long as `def` is used.
inline void make_layout(PickleDef& def, LayoutStore& store, std::vector<const Field*> fields) {
    std::sort(fields.begin(), fields.end(),
              [](const Field* a, const Field* b) { return std::strcmp(a->name, b->name) < 0; });
    std::string spaced, members;
    for (const Field* f : fields) {
        if (!spaced.empty()) {
            spaced += ' ';
            members += ", ";
        }
        spaced += f->name;
        members += f->name;
    }
    store.state = std::move(fields);
    store.members = std::move(members);
    def.state = store.state.data();
    def.size = store.state.size();
    def.members = store.members.c_str();
    def.checksums[0] = digest::sha256_prefix(spaced);
    def.checksums[1] = digest::sha1_prefix(spaced);
    def.checksums[2] = digest::md5_prefix(spaced);
}

namespace detail {

inline bool has_object_value(PyObject* self, const PickleDef& def) {
    for (std::size_t i = 0; i < def.size; ++i) {
        if (!def.state[i]->object) continue;
        PyObject* o = *static_cast<PyObject**>(slot_of(self, *def.state[i]));
        if (o && o != Py_None) return true;
    }
    return false;
}

inline bool in_layout(const Field* field, const PickleDef& def) {
    for (std::size_t i = 0; i < def.size; ++i) {
        if (def.state[i] == field) return true;
    }
    return false;
}

// The layout `self` is written in: the wider one only when an added field holds a value.
inline const PickleDef& layout_to_write(PyObject* self, const PickleDef& def) {
    if (!def.wider) return def;
    for (std::size_t i = 0; i < def.wider->size; ++i) {
        const Field* field = def.wider->state[i];
        if (in_layout(field, def)) continue;
        PyObject* o = *static_cast<PyObject**>(slot_of(self, *field));
        if (o && o != Py_None) return *def.wider;
    }
    return def;
}

// The layout of a state given to __setstate__, told by its length; the first layout followed by its
// instance dict is as long as the wider one only when that is one field wider.
inline const PickleDef& layout_read(PyObject* state, const PickleDef& def) {
    if (!def.wider) return def;
    const Py_ssize_t n = PyTuple_GET_SIZE(state);
    if (n < static_cast<Py_ssize_t>(def.wider->size)) return def;
    if (n == static_cast<Py_ssize_t>(def.size) + 1 && PyDict_Check(PyTuple_GET_ITEM(state, n - 1))) return def;
    return *def.wider;
}

// Assigns the fields in state order (a failure stops there; earlier fields keep their new values),
// then element n, when truthy, updates the instance dict.
inline bool apply_state(PyObject* self, PyObject* state, const PickleDef& def) {
    for (std::size_t i = 0; i < def.size; ++i) {
        PyObject* item = PyTuple_GetItem(state, static_cast<Py_ssize_t>(i));
        if (!item || set_field(self, *def.state[i], item) < 0) return false;
    }
    if (PyTuple_GET_SIZE(state) <= static_cast<Py_ssize_t>(def.size)) return true;
    PyObject* extra = PyTuple_GET_ITEM(state, static_cast<Py_ssize_t>(def.size));
    const int truthy = truth(extra);
    if (truthy <= 0) return truthy == 0;
    Ref dict(PyObject_GetAttrString(self, "__dict__"));
    Ref done(dict ? PyObject_CallMethod(dict.get(), "update", "O", extra) : nullptr);
    return static_cast<bool>(done);
}

inline void raise_incompatible(long long checksum, const PickleDef& def) {
    Ref pickle(PyImport_ImportModule("pickle"));
    Ref error(pickle ? PyObject_GetAttrString(pickle.get(), "PickleError") : nullptr);
    if (!error) return;
    // The given checksum prints as an unsigned 32-bit number, as the writer computed it.
    PyErr_Format(error.get(), "Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))",
                 static_cast<unsigned>(checksum & 0xffffffff), static_cast<unsigned>(def.checksums[0]),
                 static_cast<unsigned>(def.checksums[1]), static_cast<unsigned>(def.checksums[2]), def.members);
}

}  // namespace detail

inline PyObject* reduce(PyObject* self, const PickleDef& layout) {
    const PickleDef& def = detail::layout_to_write(self, layout);
    Ref state(PyTuple_New(static_cast<Py_ssize_t>(def.size)));
    if (!state) return nullptr;
    for (std::size_t i = 0; i < def.size; ++i) {
        PyObject* value = get_field(self, *def.state[i]);
        if (!value) return nullptr;
        PyTuple_SET_ITEM(state.get(), static_cast<Py_ssize_t>(i), value);
    }
    Ref dict(PyObject_GetAttrString(self, "__dict__"));
    if (!dict) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
        PyErr_Clear();
    }
    bool use_setstate = false;
    if (dict && dict.get() != Py_None) {
        const int non_empty = truth(dict.get());
        if (non_empty < 0) return nullptr;
        if (non_empty) {
            Ref extra(PyTuple_Pack(1, dict.get()));
            Ref extended(extra ? PySequence_Concat(state.get(), extra.get()) : nullptr);
            if (!extended) return nullptr;
            state = std::move(extended);
            use_setstate = true;
        }
    }
    if (!use_setstate) use_setstate = detail::has_object_value(self, def);
    PyObject* unpickler = PyDict_GetItemString(PyModule_GetDict(def.module()), def.unpickle_name);
    if (!unpickler) {
        PyErr_Format(PyExc_NameError, "name '%s' is not defined", def.unpickle_name);
        return nullptr;
    }
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    if (use_setstate) return Py_BuildValue("(O(OLO)O)", unpickler, type, def.checksums[0], Py_None, state.get());
    return Py_BuildValue("(O(OLO))", unpickler, type, def.checksums[0], state.get());
}

inline PyObject* set_state(PyObject* self, PyObject* state, const PickleDef& def) {
    if (state == Py_None) {
        PyErr_SetString(PyExc_TypeError, "cannot pass None into a C function argument that is declared 'not None'");
        return nullptr;
    }
    if (!check_exact_type_value(state, &PyTuple_Type, "tuple") ||
        !detail::apply_state(self, state, detail::layout_read(state, def)))
        return nullptr;
    Py_RETURN_NONE;
}

inline PyObject* unpickle(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const PickleDef& def) {
    const Params<3> params{def.unpickle_name, {"__pyx_type", "__pyx_checksum", "__pyx_state"}, 3};
    Params<3>::Values v;
    if (!params.bind(args, nargs, kwnames, v)) return nullptr;
    PyObject *type = v[0], *state = v[2];
    long long checksum;
    if (!to_int64(v[1], checksum)) return nullptr;
    if (state != Py_None && !PyTuple_CheckExact(state)) {
        raise_argument_type(state, "__pyx_state", "tuple");
        return nullptr;
    }
    const auto matches = [checksum](const PickleDef& d) {
        return checksum == d.checksums[0] || checksum == d.checksums[1] || checksum == d.checksums[2];
    };
    const PickleDef* layout = matches(def) ? &def : def.wider && matches(*def.wider) ? def.wider : nullptr;
    if (!layout) {
        detail::raise_incompatible(checksum, def);
        return nullptr;
    }
    Ref object(PyObject_CallMethod(reinterpret_cast<PyObject*>(def.type), "__new__", "O", type));
    if (!object) return nullptr;
    if (state != Py_None && !detail::apply_state(object.get(), state, *layout)) return nullptr;
    return object.release();
}

template <const PickleDef& S>
PyObject* reduce_method(PyObject* self, PyObject*) {
    return reduce(self, S);
}

template <const PickleDef& S>
PyObject* set_state_method(PyObject* self, PyObject* state) {
    return set_state(self, state, S);
}

template <const PickleDef& S>
PyObject* unpickle_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return unpickle(args, nargs, kwnames, S);
}

// The two entries of a picklable class's method table.
#define ZELVAR_PICKLE_METHODS(def)                                            \
    {"__reduce__", ::zelvar::py::reduce_method<def>, METH_NOARGS, nullptr}, { \
        "__setstate__", ::zelvar::py::set_state_method<def>, METH_O, nullptr  \
    }

// The module-level unpickle function of a class.
template <const PickleDef& S>
PyMethodDef unpickle_def() {
    return {S.unpickle_name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(unpickle_function<S>)),
            METH_FASTCALL | METH_KEYWORDS, S.unpickle_doc};
}

}  // namespace zelvar::py
