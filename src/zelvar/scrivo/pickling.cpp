#include "pickling.hpp"

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

bool has_text(PyObject* self, const PickleSpec& spec) {
    for (std::size_t i = 0; i < spec.size; ++i) {
        const Field& f = *spec.state[i];
        if (f.kind != FieldKind::Text) continue;
        PyObject* text = *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + f.offset);
        if (text && text != Py_None) return true;
    }
    return false;
}

// Assigns the fields in state order; a failure stops there (earlier fields keep their values),
// then element n, when truthy, updates the instance dict.
bool apply_state(PyObject* self, PyObject* state, const PickleSpec& spec) {
    for (std::size_t i = 0; i < spec.size; ++i) {
        PyObject* item = PyTuple_GetItem(state, static_cast<Py_ssize_t>(i));
        if (!item || set_field(self, *spec.state[i], item) < 0) return false;
    }
    if (PyTuple_GET_SIZE(state) <= static_cast<Py_ssize_t>(spec.size)) return true;
    PyObject* extra = PyTuple_GET_ITEM(state, static_cast<Py_ssize_t>(spec.size));
    const int truthy = py::truth(extra);
    if (truthy <= 0) return truthy == 0;
    py::Ref dict(PyObject_GetAttrString(self, "__dict__"));
    if (!dict) return false;
    py::Ref done(PyObject_CallMethod(dict.get(), "update", "O", extra));
    return static_cast<bool>(done);
}

void raise_incompatible(long long checksum, const PickleSpec& spec) {
    py::Ref pickle(PyImport_ImportModule("pickle"));
    py::Ref error(pickle ? PyObject_GetAttrString(pickle.get(), "PickleError") : nullptr);
    py::Ref values(error ? Py_BuildValue("(LLLLs)", checksum, spec.checksums[0], spec.checksums[1],
                                         spec.checksums[2], spec.members)
                         : nullptr);
    py::Ref format(values ? PyUnicode_FromString("Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))")
                          : nullptr);
    py::Ref message(format ? PyUnicode_Format(format.get(), values.get()) : nullptr);
    if (message) PyErr_SetObject(error.get(), message.get());
}

}  // namespace

PyObject* reduce(PyObject* self, const PickleSpec& spec) {
    py::Ref state(PyTuple_New(static_cast<Py_ssize_t>(spec.size)));
    if (!state) return nullptr;
    for (std::size_t i = 0; i < spec.size; ++i) {
        PyObject* value = get_field(self, *spec.state[i]);
        if (!value) return nullptr;
        PyTuple_SET_ITEM(state.get(), static_cast<Py_ssize_t>(i), value);
    }
    py::Ref dict(PyObject_GetAttrString(self, "__dict__"));
    if (!dict) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
        PyErr_Clear();
    }
    bool use_setstate = false;
    if (dict && dict.get() != Py_None) {
        const int non_empty = py::truth(dict.get());
        if (non_empty < 0) return nullptr;
        if (non_empty) {
            py::Ref extended(PySequence_Concat(state.get(), py::Ref(PyTuple_Pack(1, dict.get())).get()));
            if (!extended) return nullptr;
            state = std::move(extended);
            use_setstate = true;
        }
    }
    if (!use_setstate) use_setstate = has_text(self, spec);

    PyObject* unpickler = PyDict_GetItemString(PyModule_GetDict(module()), spec.unpickle_name);
    if (!unpickler) {
        PyErr_Format(PyExc_NameError, "name '%s' is not defined", spec.unpickle_name);
        return nullptr;
    }
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    if (use_setstate) {
        return Py_BuildValue("(O(OLO)O)", unpickler, type, spec.checksums[0], Py_None, state.get());
    }
    return Py_BuildValue("(O(OLO))", unpickler, type, spec.checksums[0], state.get());
}

PyObject* set_state(PyObject* self, PyObject* state, const PickleSpec& spec) {
    if (state == Py_None) {
        PyErr_SetString(PyExc_TypeError, "cannot pass None into a C function argument that is declared 'not None'");
        return nullptr;
    }
    if (!py::check_exact_type_value(state, &PyTuple_Type, "tuple")) return nullptr;
    if (!apply_state(self, state, spec)) return nullptr;
    Py_RETURN_NONE;
}

PyObject* unpickle(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const PickleSpec& spec) {
    const py::Params<3> params{spec.unpickle_name, {"__pyx_type", "__pyx_checksum", "__pyx_state"}, 3};
    py::Params<3>::Values v;
    if (!params.bind(args, nargs, kwnames, v)) return nullptr;
    PyObject *type = v[0], *state = v[2];
    long long checksum;
    if (!py::to_int64(v[1], checksum)) return nullptr;
    if (state != Py_None && !PyTuple_CheckExact(state)) {
        py::raise_argument_type(state, "__pyx_state", "tuple");
        return nullptr;
    }
    if (checksum != spec.checksums[0] && checksum != spec.checksums[1] && checksum != spec.checksums[2]) {
        raise_incompatible(checksum, spec);
        return nullptr;
    }
    py::Ref object(PyObject_CallMethod(reinterpret_cast<PyObject*>(spec.type), "__new__", "O", type));
    if (!object) return nullptr;
    if (state != Py_None && !apply_state(object.get(), state, spec)) return nullptr;
    return object.release();
}

}  // namespace zelvar::scrivo
