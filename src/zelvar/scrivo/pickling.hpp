// Pickling of the logging module's value types: `__reduce__`/`__setstate__` on the class and one
// module-level unpickle function per class, all made from one description of the class's state.
#pragma once

#include <cstddef>

#include <zelvar/_pyext/python.hpp>

#include "fields.hpp"

namespace zelvar::scrivo {

struct PickleSpec {
    PyTypeObject* type;            // the class that defines the hooks
    const char* unpickle_name;     // "__pyx_unpickle_<class>", looked up in the module globals
    const char* unpickle_doc;
    const Field* const* state;     // the state's fields, in ascending order of name
    std::size_t size;
    long long checksums[3];        // SHA-256, SHA-1 and MD5 prefixes of the joined names; the first is written
    const char* members;           // the names joined by ", ", for the checksum error
};

PyObject* reduce(PyObject* self, const PickleSpec& spec);
PyObject* set_state(PyObject* self, PyObject* state, const PickleSpec& spec);
PyObject* unpickle(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const PickleSpec& spec);

template <const PickleSpec& S>
PyObject* reduce_method(PyObject* self, PyObject*) {
    return reduce(self, S);
}

template <const PickleSpec& S>
PyObject* set_state_method(PyObject* self, PyObject* state) {
    return set_state(self, state, S);
}

template <const PickleSpec& S>
PyObject* unpickle_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return unpickle(args, nargs, kwnames, S);
}

// The two entries of a picklable class's method table.
#define ZELVAR_PICKLE_METHODS(spec)                                                                   \
    {"__reduce__", ::zelvar::scrivo::reduce_method<spec>, METH_NOARGS, nullptr},                     \
    {                                                                                                \
        "__setstate__", ::zelvar::scrivo::set_state_method<spec>, METH_O, nullptr                     \
    }

// The module-level unpickle function of a class.
template <const PickleSpec& S>
PyMethodDef unpickle_def() {
    return {S.unpickle_name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(unpickle_function<S>)),
            METH_FASTCALL | METH_KEYWORDS, S.unpickle_doc};
}

}  // namespace zelvar::scrivo
