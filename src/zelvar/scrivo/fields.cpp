#include "fields.hpp"

#include <cstdint>

#include <zelvar/_pyext/convert.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

template <class T>
T& at(PyObject* self, const Field& field) {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(self) + field.offset);
}

}  // namespace

PyObject* get_field(PyObject* self, const Field& field) {
    switch (field.kind) {
        case FieldKind::Bool:
            return PyBool_FromLong(at<bool>(self, field));
        case FieldKind::Level:
            return level_to_python(at<int32_t>(self, field));
        case FieldKind::Size:
            return PyLong_FromSize_t(at<std::size_t>(self, field));
        case FieldKind::Int32:
            return PyLong_FromLong(at<int32_t>(self, field));
        case FieldKind::Text: {
            PyObject* text = at<PyObject*>(self, field);
            return Py_NewRef(text ? text : Py_None);
        }
    }
    return nullptr;
}

int set_field(PyObject* self, const Field& field, PyObject* value) {
    if (!value) {
        if (field.kind != FieldKind::Text) {
            PyErr_SetString(PyExc_NotImplementedError, "__del__");
            return -1;
        }
        value = Py_None;
    }
    switch (field.kind) {
        case FieldKind::Bool: {
            const int t = py::truth(value);
            if (t < 0) return -1;
            at<bool>(self, field) = t != 0;
            return 0;
        }
        case FieldKind::Level:
        case FieldKind::Int32: {
            int32_t v;
            if (!py::to_int32(value, v)) return -1;
            at<int32_t>(self, field) = v;
            return 0;
        }
        case FieldKind::Size: {
            std::size_t v;
            if (!py::to_size_t(value, v)) return -1;
            at<std::size_t>(self, field) = v;
            return 0;
        }
        case FieldKind::Text: {
            if (!py::check_str_value(value)) return -1;
            PyObject*& slot = at<PyObject*>(self, field);
            PyObject* old = slot;
            slot = Py_NewRef(value);
            Py_XDECREF(old);
            return 0;
        }
    }
    return -1;
}

PyObject* field_getter(PyObject* self, void* closure) { return get_field(self, *static_cast<const Field*>(closure)); }

int field_setter(PyObject* self, PyObject* value, void* closure) {
    return set_field(self, *static_cast<const Field*>(closure), value);
}

}  // namespace zelvar::scrivo
